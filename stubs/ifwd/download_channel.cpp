#include "download_channel.h"

#include "common/path_rules.h"
#include "phone/ifwd_download_dll.h"

namespace marlow::ifwd {

std::unique_ptr<DownloadChannel> DownloadChannel::Open(std::uint8_t channel,
                                                       const std::string& port, std::uint32_t baud,
                                                       HostTimeouts timeouts, Reporter reporter,
                                                       std::string* error) {
    Result<std::unique_ptr<modemlink::SerialLine>> line =
        modemlink::SerialLine::OpenPort(port, baud);
    if (!line) {
        *error = line.Error();
        return nullptr;
    }
    return std::unique_ptr<DownloadChannel>(
        new DownloadChannel(channel, std::move(*line), timeouts, std::move(reporter)));
}

DownloadChannel::DownloadChannel(std::uint8_t channel, std::unique_ptr<modemlink::SerialLine> line,
                                 HostTimeouts timeouts, Reporter reporter)
    : channel_(channel), line_(std::move(line)), host_(*line_, timeouts),
      reporter_(std::move(reporter)) {
    worker_ = std::thread([this] { Work(); });
}

DownloadChannel::~DownloadChannel() {
    {
        const std::lock_guard lock(mutex_);
        closing_ = true;
        pending_.reset();
    }
    line_->Interrupt();
    changed_.notify_all();
    worker_.join();
}

bool DownloadChannel::StartBoot(const std::string& firmwarePath,
                                const modemlink::ControlBlock& controlBlock, std::string* error) {
    Job job;
    job.kind = Job::Kind::Boot;
    job.controlBlock = controlBlock;
    job.name = FileNamePart(firmwarePath);
    // The modem boots the loaders that match its firmware: no firmware, no boot.
    if (!PartFile::Open(firmwarePath, error))
        return false;
    return Queue(std::move(job), error);
}

bool DownloadChannel::StartDownload(modemlink::FileKind kind, const std::string& path,
                                    std::uint32_t option, std::string* error) {
    Job job;
    job.kind = Job::Kind::File;
    job.fileKind = kind;
    job.option = option;
    job.name = FileNamePart(path);
    job.file = PartFile::Open(path, error);
    if (!job.file)
        return false;
    return Queue(std::move(job), error);
}

bool DownloadChannel::Queue(Job job, std::string* error) {
    {
        const std::lock_guard lock(mutex_);
        if (busy_ || pending_) {
            *error = "The modem is busy with the previous part";
            return false;
        }
        pending_ = std::move(job);
    }
    changed_.notify_all();
    return true;
}

void DownloadChannel::WaitUntilIdle(std::unique_lock<std::mutex>& lock) {
    changed_.wait(lock, [this] { return !busy_ && !pending_; });
}

void DownloadChannel::Abort() {
    {
        std::unique_lock lock(mutex_);
        pending_.reset();
        if (busy_) {
            line_->Interrupt();
            WaitUntilIdle(lock);
        }
    }
    line_->ClearInterrupt();
    host_.SendAbort();
}

bool DownloadChannel::EndOfProcess(std::string* error) {
    std::unique_lock lock(mutex_);
    if (busy_ || pending_) {
        *error = "The modem is busy with the previous part";
        return false;
    }
    // Holding the lock keeps the worker from starting a part meanwhile.
    const HostResult result = host_.EndOfProcess();
    if (!result.ok())
        *error = result.reason;
    return result.ok();
}

void DownloadChannel::Work() {
    std::unique_lock lock(mutex_);
    for (;;) {
        changed_.wait(lock, [this] { return closing_ || pending_.has_value(); });
        if (closing_)
            return;
        Job job = std::move(*pending_);
        pending_.reset();
        busy_ = true;
        lock.unlock();
        const HostResult result = RunGuarded(job);
        lock.lock();
        busy_ = false;
        changed_.notify_all();
        // Free before the report goes out: its receiver may start the next part at once.
        lock.unlock();
        ReportOutcome(job, result);
        lock.lock();
    }
}

// Nothing thrown on this thread may end the process that loaded us.
HostResult DownloadChannel::RunGuarded(Job& job) {
    try {
        return Run(job);
    } catch (const std::exception& e) {
        return HostResult::Failed(std::string("The download library failed: ") + e.what());
    } catch (...) {
        return HostResult::Failed("The download library failed.");
    }
}

HostResult DownloadChannel::Run(Job& job) {
    HostResult result;
    if (job.kind == Job::Kind::Boot) {
        result = host_.Boot(job.controlBlock, job.name);
    } else {
        const auto progress = [this](int percent) {
            reporter_(channel_, IFWD_DL_Progress, std::to_string(percent).c_str());
        };
        result = host_.SendFile(job.fileKind, job.option, job.name, *job.file, progress);
    }
    return result;
}

void DownloadChannel::ReportOutcome(const Job& job, const HostResult& result) {
    if (result.kind == HostResult::Kind::Done)
        reporter_(channel_, IFWD_DL_OK, job.kind == Job::Kind::Boot ? "Boot done" : "Part done");
    else if (result.kind == HostResult::Kind::Failed)
        reporter_(channel_, IFWD_DL_Error, result.reason.c_str());
}

} // namespace marlow::ifwd
