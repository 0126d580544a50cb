#include "uartloader/uart_transport.h"

namespace marlow::uartloader {

const char* DescribeLinkStatus(LinkStatus status) {
    switch (status) {
    case LinkStatus::Ok:
        return "ok";
    case LinkStatus::TimedOut:
        return "no reply in time";
    case LinkStatus::Stopped:
        return "stopped: the port was disconnected";
    case LinkStatus::Gone:
        return "the device has gone (cable pulled or device switched off?)";
    case LinkStatus::LineBreak:
        return "the line reported a break (handset reset or cable pulled?)";
    case LinkStatus::Failed:
        return "serial I/O error";
    }
    return "unknown link status";
}

} // namespace marlow::uartloader
