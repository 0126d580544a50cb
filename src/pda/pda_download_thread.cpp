#include "pda/pda_download.h"

#include <system_error>

namespace marlow::pda {

Result<std::unique_ptr<PdaDownloadThread>> PdaDownloadThread::Start(usb::CUsbPipe& pipe,
                                                                    PdaRunContext& context,
                                                                    PdaEventSink& events,
                                                                    Ended ended) {
    pipe.ClearStopRequest();
    pipe.SetCompleted(false);
    std::unique_ptr<PdaDownloadThread> run(new PdaDownloadThread(pipe));
    PdaDownloadThread* self = run.get();
    try {
        run->thread_ = std::thread([self, &pipe, &context, &events, ended = std::move(ended)] {
            const PdaRunOutcome outcome = RunPdaDownload(pipe, context, events);
            if (ended)
                ended(outcome);
            // Notified under the lock: a waiter that wakes may go on to join
            // the thread and delete this object.
            std::lock_guard lock(self->mutex_);
            self->running_ = false;
            self->ended_.notify_all();
        });
    } catch (const std::system_error& error) {
        return Failure{std::string("the download thread could not be started: ") + error.what()};
    }
    return run;
}

PdaDownloadThread::~PdaDownloadThread() {
    Stop(usb::StopCause::Operator, std::chrono::milliseconds::max());
}

bool PdaDownloadThread::Running() const {
    std::lock_guard lock(mutex_);
    return running_;
}

void PdaDownloadThread::Stop(usb::StopCause cause, std::chrono::milliseconds grace) {
    if (Running())
        pipe_.RequestStop(cause);
    {
        std::unique_lock lock(mutex_);
        if (grace == std::chrono::milliseconds::max())
            ended_.wait(lock, [this] { return !running_; });
        else
            ended_.wait_for(lock, grace, [this] { return !running_; });
    }
    Join();
}

void PdaDownloadThread::Join() {
    if (thread_.joinable() && thread_.get_id() != std::this_thread::get_id())
        thread_.join();
}

} // namespace marlow::pda
