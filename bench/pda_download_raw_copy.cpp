#include "pda_download_raw_copy.h"

#include "emulators/in_process_usb.h"
#include "emulators/pda_in_process_device.h"
#include "pda/boot_image_writer.h"
#include "pda/pda_download.h"
#include "usb/usb_pipe.h"
#include "usb/virtual_bus_frame.h"

#include <array>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace marlow::bench {
namespace {

class NullSink : public pda::PdaEventSink {
public:
    void Post(const pda::PdaEvent&) override {}
};

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

// Sends each frame's bytes as `next` gives them (nullptr: no more), then
// waits for the reply bytes the script says the download reads.
template <typename NextFrame> bool PlayHost(int fd, const FrameScript& script, NextFrame next) {
    std::array<std::uint8_t, usb::kFrameHeaderSize + 1> reply{};
    std::size_t begin = 0;
    bool ok = true;
    for (std::size_t frame = 0; ok && frame < script.frameEnds.size(); ++frame) {
        const std::size_t length = script.frameEnds[frame] - begin;
        const std::uint8_t* bytes = next(begin, length);
        ok = bytes != nullptr && SendAll(fd, bytes, length);
        begin = script.frameEnds[frame];
        for (std::uint32_t i = 0; ok && i < script.readsAfter[frame]; ++i)
            ok = ::recv(fd, reply.data(), reply.size(), MSG_WAITALL) ==
                 static_cast<ssize_t>(reply.size());
    }
    ::shutdown(fd, SHUT_RDWR);
    return ok;
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

const std::string& ImagePath() {
    static const std::string kPath = [] {
        const std::string file =
            (std::filesystem::temp_directory_path() / "marlow_bench_pda_64mib.bin").string();
        pda::GeneratedImageShape shape;
        shape.dataBytes = kImageBytes;
        if (const Status written = pda::WriteGeneratedImage(file, shape); !written) {
            std::fprintf(stderr, "cannot write %s: %s\n", file.c_str(), written.Error().c_str());
            std::abort();
        }
        return file;
    }();
    return kPath;
}

const FrameScript& DownloadScript() {
    static const FrameScript kScript = [] {
        FrameScript recorded;
        NullSink out;
        pda::PdaRunContext context(pda::PdaSettings{ImagePath(), pda::DownloadTarget::Ram});
        emulators::PdaEmulatorOptions options;
        options.keepBytesLimit = 0;
        emulators::PdaBootLoaderEmulator emulator(options);
        emulators::InProcessUsbPair pair = emulators::MakeInProcessUsbPair();
        emulators::AttachEmulator(*pair.device, emulator);
        usb::CUsbPipe pipe(RecordingTransport(std::move(pair.host), recorded));
        if (!pipe.OpenPipe() || !pda::RunPdaDownload(pipe, context, out).Passed())
            std::abort();
        emulators::DetachEmulator(*pair.device);
        return recorded;
    }();
    return kScript;
}

std::unique_ptr<usb::UsbTransport> RecordingTransport(std::unique_ptr<usb::UsbTransport> inner,
                                                      FrameScript& script) {
    return std::make_unique<Recorder>(std::move(inner), script);
}

bool CopyRaw(const FrameScript& script) {
    int ends[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0)
        return false;
    std::thread device([&] { RawDevice(ends[1], script); });
    const bool ok = PlayHost(ends[0], script, [&script](std::size_t begin, std::size_t) {
        return script.stream.data() + begin;
    });
    device.join();
    ::close(ends[0]);
    ::close(ends[1]);
    return ok;
}

bool SaveShape(const FrameScript& script, const std::string& path) {
    std::ofstream out(path);
    for (std::size_t frame = 0; frame < script.frameEnds.size(); ++frame)
        out << script.frameEnds[frame] << ' ' << script.readsAfter[frame] << ' '
            << script.repliesAfter[frame] << '\n';
    return static_cast<bool>(out.flush());
}

std::optional<FrameScript> LoadShape(const std::string& path) {
    std::ifstream in(path);
    FrameScript shape;
    std::size_t end = 0;
    std::uint32_t reads = 0;
    std::uint32_t replies = 0;
    while (in >> end >> reads >> replies) {
        shape.frameEnds.push_back(end);
        shape.readsAfter.push_back(reads);
        shape.repliesAfter.push_back(replies);
    }
    if (!in.eof() || shape.frameEnds.empty())
        return std::nullopt;
    return shape;
}

// The image's bytes stand in for the frames' own, read as a download reads
// them: in order, a frame at a time, from the start again at its end.
bool CopyRawHost(int fd, const FrameScript& shape, const std::string& imagePath) {
    const int image = ::open(imagePath.c_str(), O_RDONLY | O_CLOEXEC);
    if (image < 0)
        return false;
    std::vector<std::uint8_t> frame;
    const bool ok = PlayHost(fd, shape, [&](std::size_t, std::size_t length) {
        frame.resize(length);
        for (std::size_t got = 0; got < length;) {
            const ssize_t n = ::read(image, frame.data() + got, length - got);
            if (n < 0 || (n == 0 && ::lseek(image, 0, SEEK_SET) != 0))
                return static_cast<const std::uint8_t*>(nullptr);
            got += static_cast<std::size_t>(n);
        }
        return static_cast<const std::uint8_t*>(frame.data());
    });
    ::close(image);
    return ok;
}

void CopyRawDevice(int fd, const FrameScript& shape) {
    RawDevice(fd, shape);
}

} // namespace marlow::bench
