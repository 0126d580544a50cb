#include "phone/library_channels.h"

namespace marlow::phone {

class LibraryChannels::View : public PhoneLibrary {
public:
    View(LibraryChannels& shared, std::uint8_t channel) : shared_(shared), channel_(channel) {}
    void AttachReports(ReportReceiver& receiver, StatusText& status) override {
        shared_.Attach(channel_, receiver, status);
    }
    void DetachReports() override { shared_.Detach(channel_); }
    std::uint32_t OpenCommPort(std::uint8_t channel, const std::string& port, std::uint32_t baud,
                               StatusText& status) override {
        return Library().OpenCommPort(channel, port, baud, status);
    }
    std::uint32_t CloseCommPort(std::uint8_t channel, StatusText& status) override {
        return Library().CloseCommPort(channel, status);
    }
    std::uint32_t BootTarget(std::uint8_t channel, const std::string& flsPath,
                             ControlBlock& controlBlock, StatusText& status) override {
        return Library().BootTarget(channel, flsPath, controlBlock, status);
    }
    std::uint32_t DownloadFlsFile(std::uint8_t channel, const std::string& path,
                                  StatusText& status) override {
        return Library().DownloadFlsFile(channel, path, status);
    }
    std::uint32_t DownloadEepFile(std::uint8_t channel, const std::string& path,
                                  std::uint32_t option, StatusText& status) override {
        return Library().DownloadEepFile(channel, path, option, status);
    }
    std::uint32_t AbortProcess(std::uint8_t channel, StatusText& status) override {
        return Library().AbortProcess(channel, status);
    }
    std::uint32_t EndOfProcess(std::uint8_t channel, StatusText& status) override {
        return Library().EndOfProcess(channel, status);
    }

private:
    PhoneLibrary& Library() { return shared_.library_; }

    LibraryChannels& shared_;
    const std::uint8_t channel_;
};

std::unique_ptr<PhoneLibrary> LibraryChannels::Channel(std::uint8_t channel) {
    return std::make_unique<View>(*this, channel);
}

void LibraryChannels::Attach(std::uint8_t channel, ReportReceiver& receiver, StatusText& status) {
    bool first = false;
    {
        std::lock_guard lock(mutex_);
        first = receivers_.empty();
        receivers_[channel] = &receiver;
    }
    // The library's set-up is made once, for every channel.
    if (first)
        library_.AttachReports(*this, status);
}

void LibraryChannels::Detach(std::uint8_t channel) {
    bool last = false;
    {
        std::lock_guard lock(mutex_);
        receivers_.erase(channel);
        last = receivers_.empty();
    }
    if (last)
        library_.DetachReports();
}

void LibraryChannels::ReceiveReport(std::uint8_t channel, std::uint32_t code, const char* text) {
    std::lock_guard lock(mutex_);
    if (const auto receiver = receivers_.find(channel); receiver != receivers_.end())
        receiver->second->ReceiveReport(channel, code, text);
}

} // namespace marlow::phone
