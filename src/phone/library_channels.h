#pragma once
// One download library shared by several phone engines, each on a channel
// of its own. The library takes one report function for all its channels,
// so the reports are sent on from here to the engine whose channel each
// names; every other call passes through unchanged.

#include "phone/phone_library.h"

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>

namespace marlow::phone {

class LibraryChannels : private ReportReceiver {
public:
    explicit LibraryChannels(PhoneLibrary& library) : library_(library) {}
    LibraryChannels(const LibraryChannels&) = delete;
    LibraryChannels& operator=(const LibraryChannels&) = delete;

    // The library as the engine on `channel` sees it; it must go before this.
    std::unique_ptr<PhoneLibrary> Channel(std::uint8_t channel);

private:
    class View;
    void Attach(std::uint8_t channel, ReportReceiver& receiver, StatusText& status);
    void Detach(std::uint8_t channel);
    void ReceiveReport(std::uint8_t channel, std::uint32_t code, const char* text) override;

    PhoneLibrary& library_;
    // Held while a report is delivered, so a detached engine hears no more.
    std::mutex mutex_;
    std::map<std::uint8_t, ReportReceiver*> receivers_;
};

} // namespace marlow::phone
