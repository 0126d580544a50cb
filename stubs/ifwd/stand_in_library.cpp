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

DownloadChannel* StandInLibrary::Find(std::uint8_t channel, std::string* error) {
    const auto it = channels_.find(channel);
    if (it == channels_.end()) {
        *error = "The modem port of channel " + std::to_string(channel) + " is not open";
        return nullptr;
    }
    return it->second.get();
}

bool StandInLibrary::OpenPort(std::uint8_t channel, const std::string& port, std::uint32_t baud,
                              std::string* error) {
    const std::lock_guard lock(mutex_);
    if (channels_.count(channel) != 0) {
        *error = "Channel " + std::to_string(channel) + " already has an open port";
        return false;
    }
    const Reporter reporter = [this](std::uint8_t ch, std::uint32_t code, const char* text) {
        Report(ch, code, text);
    };
    std::unique_ptr<DownloadChannel> opened =
        DownloadChannel::Open(channel, port, baud, Timeouts(), reporter, error);
    if (!opened)
        return false;
    channels_[channel] = std::move(opened);
    return true;
}

bool StandInLibrary::ClosePort(std::uint8_t channel) {
    std::unique_ptr<DownloadChannel> closing;
    {
        const std::lock_guard lock(mutex_);
        const auto it = channels_.find(channel);
        if (it == channels_.end())
            return true;
        closing = std::move(it->second);
        channels_.erase(it);
    }
    closing.reset(); // joins the worker outside the lock
    return true;
}

bool StandInLibrary::Boot(std::uint8_t channel, const std::string& firmwarePath,
                          const modemlink::ControlBlock& controlBlock, std::string* error) {
    const std::lock_guard lock(mutex_);
    DownloadChannel* open = Find(channel, error);
    return open != nullptr && open->StartBoot(firmwarePath, controlBlock, error);
}

bool StandInLibrary::Download(std::uint8_t channel, modemlink::FileKind kind,
                              const std::string& path, std::uint32_t option, std::string* error) {
    const std::lock_guard lock(mutex_);
    DownloadChannel* open = Find(channel, error);
    return open != nullptr && open->StartDownload(kind, path, option, error);
}

void StandInLibrary::Abort(std::uint8_t channel) {
    const std::lock_guard lock(mutex_);
    std::string ignored;
    if (DownloadChannel* open = Find(channel, &ignored))
        open->Abort();
}

bool StandInLibrary::EndOfProcess(std::uint8_t channel, std::string* error) {
    const std::lock_guard lock(mutex_);
    DownloadChannel* open = Find(channel, error);
    return open != nullptr && open->EndOfProcess(error);
}

} // namespace marlow::ifwd
