#include "pda/pda_download.h"

#include <system_error>
#include <thread>

namespace marlow::pda {

bool StartDownloadThread(usb::CUsbPipe& pipe, PdaRunContext& context, PdaEventSink& events) {
    // Cleared here, not on the new thread: a stop asked for the moment the
    // thread is started (a signal, a closed output) must not be undone.
    pipe.ClearStopRequest();
    pipe.SetThreadRunning(true);
    pipe.SetCompleted(false);
    context.aborted = false;
    context.cancelled = false;
    try {
        pipe.AttachDownloadThread(
            std::thread([&pipe, &context, &events] { DownloadThreadProc(pipe, context, events); }));
    } catch (const std::system_error&) {
        pipe.SetThreadRunning(false);
        return false;
    }
    return true;
}

void DownloadThreadProc(usb::CUsbPipe& pipe, PdaRunContext& context, PdaEventSink& events) {
    RunPdaDownload(pipe, context, events);
    pipe.SetThreadRunning(false);
}

} // namespace marlow::pda
