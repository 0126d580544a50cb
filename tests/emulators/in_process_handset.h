#pragma once
// A handset on the device end of an in-process link, played on a thread of
// its own: the emulator run after run, or steps a test plays by hand. When
// the test ends it lets go of the link and joins its thread.

#include "emulators/in_process_uart.h"
#include "emulators/uart_handset_emulator.h"
#include "emulators/uart_in_process_device.h"
#include "support/hang_bound.h"

#include <functional>
#include <thread>
#include <vector>

namespace marlow::emulators::test {

class InProcessHandset {
public:
    ~InProcessHandset() { Stop(); }

    // The emulator once per entry of `runs`, a report for each.
    void Emulate(std::vector<UartEmulatorOptions> runs) {
        thread_ = std::thread([this, runs] {
            UartInProcessDevice end(link);
            for (const UartEmulatorOptions& options : runs)
                reports.push_back(UartHandsetEmulator(options).Run(end));
        });
    }
    // `play` gets the link once the tool has opened its end.
    void Play(std::function<void(InProcessUartLink&)> play) {
        thread_ = std::thread([this, play] {
            if (link.DeviceWaitForHostOpen(marlow::test::kStuckAfter) == LinkStatus::Ok)
                play(link);
        });
    }
    void Join() {
        if (thread_.joinable())
            thread_.join();
    }
    void Stop() {
        link.StopDevice();
        Join();
    }

    InProcessUartLink link;
    std::vector<UartEmulatorReport> reports;

private:
    std::thread thread_;
};

} // namespace marlow::emulators::test
