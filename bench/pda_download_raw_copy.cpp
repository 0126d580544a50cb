#include "pda_download_raw_copy.h"

#include "usb/virtual_bus_frame.h"

#include <array>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace marlow::bench {
namespace {

class Recorder final : public usb::UsbTransport {
public:
    Recorder(std::unique_ptr<usb::UsbTransport> inner, FrameScript& script)
        : inner_(std::move(inner)), script_(script) {}

    Status Open() override { return inner_->Open(); }
    void Close() override { inner_->Close(); }
    bool IsOpen() const override { return inner_->IsOpen(); }
    void Interrupt() override { inner_->Interrupt(); }
    void ClearInterrupt() override { inner_->ClearInterrupt(); }
    std::string Description() const override { return inner_->Description(); }
    std::string DevicePath() const override { return inner_->DevicePath(); }

    usb::TransferStatus Write(std::span<const std::uint8_t> packet) override {
        const auto header = usb::FrameHeader(static_cast<std::uint32_t>(packet.size()));
        script_.stream.insert(script_.stream.end(), header.begin(), header.end());
        script_.stream.insert(script_.stream.end(), packet.begin(), packet.end());
        script_.frameEnds.push_back(script_.stream.size());
        script_.readsAfter.push_back(0);
        script_.repliesAfter.push_back(0);
        // A reply answers the last packet with data, not the zero-length
        // packet that may follow it.
        if (!packet.empty())
            lastPacket_ = script_.frameEnds.size() - 1;
        return inner_->Write(packet);
    }

    usb::TransferStatus ReadByte(std::uint8_t& out) override {
        ++script_.readsAfter.back();
        ++script_.repliesAfter[lastPacket_];
        return inner_->ReadByte(out);
    }

private:
    std::unique_ptr<usb::UsbTransport> inner_;
    FrameScript& script_;
    std::size_t lastPacket_ = 0;
};

bool SendAll(int fd, const std::uint8_t* bytes, std::size_t count) {
    while (count > 0) {
        const ssize_t sent = ::send(fd, bytes, count, MSG_NOSIGNAL);
        if (sent <= 0)
            return false;
        bytes += sent;
        count -= static_cast<std::size_t>(sent);
    }
    return true;
}

// Reads everything in pieces as large as the emulator's, answering one
// framed byte per reply where the script says, and looks at nothing else.
void RawDevice(int fd, const FrameScript& script) {
    std::vector<std::uint8_t> scratch(64 * 1024);
    const std::array<std::uint8_t, usb::kFrameHeaderSize + 1> reply{1, 0, 0, 0, 0x01};
    std::size_t received = 0;
    std::size_t frame = 0;
    while (frame < script.frameEnds.size()) {
        const ssize_t got = ::recv(fd, scratch.data(), scratch.size(), 0);
        if (got <= 0)
            return;
        received += static_cast<std::size_t>(got);
        for (; frame < script.frameEnds.size() && script.frameEnds[frame] <= received; ++frame)
            for (std::uint32_t i = 0; i < script.repliesAfter[frame]; ++i)
                SendAll(fd, reply.data(), reply.size());
    }
}

} // namespace

std::unique_ptr<usb::UsbTransport> RecordingTransport(std::unique_ptr<usb::UsbTransport> inner,
                                                      FrameScript& script) {
    return std::make_unique<Recorder>(std::move(inner), script);
}

bool CopyRaw(const FrameScript& script) {
    int ends[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0)
        return false;
    std::thread device([&] { RawDevice(ends[1], script); });
    std::array<std::uint8_t, usb::kFrameHeaderSize + 1> reply{};
    std::size_t begin = 0;
    bool ok = true;
    for (std::size_t frame = 0; ok && frame < script.frameEnds.size(); ++frame) {
        ok = SendAll(ends[0], script.stream.data() + begin, script.frameEnds[frame] - begin);
        begin = script.frameEnds[frame];
        for (std::uint32_t i = 0; ok && i < script.readsAfter[frame]; ++i)
            ok = ::recv(ends[0], reply.data(), reply.size(), MSG_WAITALL) ==
                 static_cast<ssize_t>(reply.size());
    }
    ::shutdown(ends[0], SHUT_RDWR);
    device.join();
    ::close(ends[0]);
    ::close(ends[1]);
    return ok;
}

} // namespace marlow::bench
