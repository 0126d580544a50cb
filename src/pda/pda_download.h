#pragma once
// The PDA download: one run of the state machine over one pipe, and the
// thread that carries it. Everything the run has to tell goes to its event
// sink; how it ended comes back as its outcome too, for the owner that
// decides what follows.

#include "common/result.h"
#include "pda/pda_events.h"
#include "pda/pda_run_context.h"
#include "phone/phone_files.h"
#include "usb/usb_pipe.h"

#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

namespace marlow::pda {

// PHONE_DOWN_CMD went out: the handset has gone over to its modem. The
// files are those the list's phone group named (a role it did not name is
// empty; all are when the list had no group, or the run was a lone image
// with the Phone option); the USB port path is where the handset sat, so
// its modem is looked for there (empty where the transport does not know).
struct HandOver {
    phone::PhoneFileSet listFiles;
    std::string usbPortPath;
    bool operator==(const HandOver&) const = default;
};

// How a run ended: its verdict and reason, as its last event told them,
// and whether it handed the handset over. Passed means DOWNLOAD_DONE_CMD or
// PHONE_DOWN_CMD went out.
struct PdaRunOutcome {
    RunFinished finished;
    std::optional<HandOver> handOver;
    bool Passed() const { return finished.verdict == Verdict::Passed; }
};

// Runs on the calling thread until the state machine ends or the pipe's stop
// request ends it; clears the pipe's completed flag first and sets it when
// the last command went out. A stop already asked for is honoured.
PdaRunOutcome RunPdaDownload(usb::CUsbPipe& pipe, PdaRunContext& context, PdaEventSink& events);

// One PDA run on a thread of its own: the download thread. Its owner keeps
// it for the run; Stop raises the pipe's stop request (with why) and waits
// for the thread, which a stop ends within the transfer it is blocked in.
class PdaDownloadThread {
public:
    // Runs on the download thread once the run's last event is out.
    using Ended = std::function<void(const PdaRunOutcome&)>;

    // Clears the pipe's stop request here, not on the new thread, so that a
    // stop asked for the moment the thread starts is not undone. Fails only
    // when no thread could be started.
    static Result<std::unique_ptr<PdaDownloadThread>>
    Start(usb::CUsbPipe& pipe, PdaRunContext& context, PdaEventSink& events, Ended ended);
    // Stops the run and joins its thread.
    ~PdaDownloadThread();
    PdaDownloadThread(const PdaDownloadThread&) = delete;
    PdaDownloadThread& operator=(const PdaDownloadThread&) = delete;

    bool Running() const;
    // Asks the run to stop and waits at most `grace` for its thread to end
    // before joining it all the same (a thread is never killed). Costs
    // nothing once the thread has ended.
    void Stop(usb::StopCause cause, std::chrono::milliseconds grace);
    // Waits for the thread without asking it to stop.
    void Join();

private:
    explicit PdaDownloadThread(usb::CUsbPipe& pipe) : pipe_(pipe) {}

    usb::CUsbPipe& pipe_;
    mutable std::mutex mutex_;
    std::condition_variable ended_;
    bool running_ = true;
    std::thread thread_;
};

} // namespace marlow::pda
