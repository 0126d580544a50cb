#include "stand_in_library.h"

namespace marlow::ifwd {
namespace {

std::chrono::milliseconds FromMicroseconds(std::uint32_t value) {
    return std::chrono::milliseconds(std::max<std::uint32_t>(value / 1000, 1));
}

} // namespace

StandInLibrary& StandInLibrary::Instance() {
    static StandInLibrary library;
    return library;
}

void StandInLibrary::SetParameter(std::uint32_t id, std::uint32_t value) {
    const std::lock_guard lock(mutex_);
    parameters_[id] = value;
}

HostTimeouts StandInLibrary::Timeouts() const {
    HostTimeouts timeouts;
    if (const auto it = parameters_.find(kReplyTimeoutMicroseconds); it != parameters_.end())
        timeouts.reply = FromMicroseconds(it->second);
    if (const auto it = parameters_.find(kBootTimeoutMicroseconds); it != parameters_.end())
        timeouts.boot = FromMicroseconds(it->second);
    return timeouts;
}

void StandInLibrary::Report(std::uint8_t channel, std::uint32_t code, const char* text) {
    const IFWD_DL_report report = report_.load();
    if (report == nullptr)
        return;
    // The report function is the host's; what it throws must not end our
    // channel's thread, and with it the process.
    try {
        report(channel, code, text);
    } catch (...) {
    }
}

Result<DownloadChannel*> StandInLibrary::Find(std::uint8_t channel) {
    const auto it = channels_.find(channel);
    if (it == channels_.end())
        return Failure{"The modem port of channel " + std::to_string(channel) + " is not open"};
    return it->second.get();
}

Status StandInLibrary::OpenPort(std::uint8_t channel, const std::string& port, std::uint32_t baud) {
    const std::lock_guard lock(mutex_);
    if (channels_.count(channel) != 0)
        return Failure{"Channel " + std::to_string(channel) + " already has an open port"};
    const Reporter reporter = [this](std::uint8_t ch, std::uint32_t code, const char* text) {
        Report(ch, code, text);
    };
    Result<std::unique_ptr<DownloadChannel>> opened =
        DownloadChannel::Open(channel, port, baud, Timeouts(), reporter);
    if (!opened)
        return Failure{opened.Error()};
    channels_[channel] = std::move(*opened);
    return {};
}

void StandInLibrary::ClosePort(std::uint8_t channel) {
    std::unique_ptr<DownloadChannel> closing;
    {
        const std::lock_guard lock(mutex_);
        const auto it = channels_.find(channel);
        if (it == channels_.end())
            return;
        closing = std::move(it->second);
        channels_.erase(it);
    }
    closing.reset(); // joins the worker outside the lock
}

Status StandInLibrary::Boot(std::uint8_t channel, const std::string& firmwarePath,
                            const modemlink::ControlBlock& controlBlock) {
    const std::lock_guard lock(mutex_);
    const Result<DownloadChannel*> open = Find(channel);
    return open ? (*open)->StartBoot(firmwarePath, controlBlock) : Failure{open.Error()};
}

Status StandInLibrary::Download(std::uint8_t channel, modemlink::FileKind kind,
                                const std::string& path, std::uint32_t option) {
    const std::lock_guard lock(mutex_);
    const Result<DownloadChannel*> open = Find(channel);
    return open ? (*open)->StartDownload(kind, path, option) : Failure{open.Error()};
}

void StandInLibrary::Abort(std::uint8_t channel) {
    const std::lock_guard lock(mutex_);
    if (const Result<DownloadChannel*> open = Find(channel))
        (*open)->Abort();
}

Status StandInLibrary::EndOfProcess(std::uint8_t channel) {
    const std::lock_guard lock(mutex_);
    const Result<DownloadChannel*> open = Find(channel);
    return open ? (*open)->EndOfProcess() : Failure{open.Error()};
}

} // namespace marlow::ifwd
