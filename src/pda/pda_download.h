#pragma once
// The PDA download: one run of the state machine over one pipe, and the
// thread that carries it. Everything the run has to tell goes to its event
// sink and the context's flags; the outcome is returned too, for callers
// that want it in one piece.

#include "pda/pda_events.h"
#include "pda/pda_run_context.h"
#include "usb/usb_pipe.h"

#include <string>

namespace marlow::pda {

struct PdaRunOutcome {
    bool completed = false; // DOWNLOAD_DONE_CMD or PHONE_DOWN_CMD went out
    bool aborted = false;
    std::string error; // the first failure, naming its step; empty on success
    Verdict verdict = Verdict::Failed;
    std::string reason; // what the verdict rests on; empty when passed
};

PdaRunOutcome RunPdaDownload(usb::CUsbPipe& pipe, PdaRunContext& context, PdaEventSink& events);

// Clears the pipe's stop request, marks the pipe busy, clears the aborted
// and cancelled flags and starts a thread that runs RunPdaDownload, then
// marks the pipe idle again. The pipe owns the thread. False when no thread
// could be started. (RunPdaDownload itself honours a stop already asked for.)
bool StartDownloadThread(usb::CUsbPipe& pipe, PdaRunContext& context, PdaEventSink& events);

// The thread's body, callable directly where no thread is wanted.
void DownloadThreadProc(usb::CUsbPipe& pipe, PdaRunContext& context, PdaEventSink& events);

} // namespace marlow::pda
