#include "pda/pda_download.h"

#include <system_error>
#include <thread>

namespace marlow::pda {

bool StartDownloadThread(usb::CUsbPipe& pipe, PdaRunContext& context,
                         PdaPresentation& presentation) {
    pipe.SetThreadRunning(true);
    pipe.SetCompleted(false);
    context.aborted = false;
    context.cancelled = false;
    try {
        pipe.AttachDownloadThread(std::thread(
            [&pipe, &context, &presentation] { DownloadThreadProc(pipe, context, presentation); }));
    } catch (const std::system_error&) {
        pipe.SetThreadRunning(false);
        return false;
    }
    return true;
}

void DownloadThreadProc(usb::CUsbPipe& pipe, PdaRunContext& context,
                        PdaPresentation& presentation) {
    RunPdaDownload(pipe, context, presentation);
    pipe.SetThreadRunning(false);
}

} // namespace marlow::pda
