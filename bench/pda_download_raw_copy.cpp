#include "pda_download_raw_copy.h"

#include "common/sha256.h"
#include "emulators/in_process_usb.h"
#include "emulators/pda_in_process_device.h"
#include "pda/boot_image_writer.h"
#include "pda/pda_download.h"
#include "pda/pda_protocol.h"
#include "usb/usb_pipe.h"
#include "usb/virtual_bus_frame.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sys/socket.h>
#include <sys/uio.h>
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
    Recorder(std::unique_ptr<usb::UsbTransport> inner, FrameScript& script, bool keepBytes)
        : inner_(std::move(inner)), script_(script), keepBytes_(keepBytes) {}

    Status Open() override { return inner_->Open(); }
    void Close() override { inner_->Close(); }
    bool IsOpen() const override { return inner_->IsOpen(); }
    void Interrupt() override { inner_->Interrupt(); }
    void ClearInterrupt() override { inner_->ClearInterrupt(); }
    std::string Description() const override { return inner_->Description(); }
    std::string DevicePath() const override { return inner_->DevicePath(); }

    usb::TransferStatus Write(std::span<const std::uint8_t> packet) override {
        const auto header = usb::FrameHeader(static_cast<std::uint32_t>(packet.size()));
        if (keepBytes_) {
            script_.stream.insert(script_.stream.end(), header.begin(), header.end());
            script_.stream.insert(script_.stream.end(), packet.begin(), packet.end());
        }
        streamBytes_ += header.size() + packet.size();
        script_.frameEnds.push_back(streamBytes_);
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
    const bool keepBytes_;
    std::size_t streamBytes_ = 0;
    std::size_t lastPacket_ = 0;
};

// `head` and then `body` on a blocking socket, gathered into one sendmsg
// where the socket takes them whole.
bool SendFrame(int fd, std::span<const std::uint8_t> head, std::span<const std::uint8_t> body) {
    while (!head.empty() || !body.empty()) {
        std::array<iovec, 2> parts{iovec{const_cast<std::uint8_t*>(head.data()), head.size()},
                                   iovec{const_cast<std::uint8_t*>(body.data()), body.size()}};
        msghdr message{};
        message.msg_iov = parts.data();
        message.msg_iovlen = parts.size();
        const ssize_t sent = ::sendmsg(fd, &message, MSG_NOSIGNAL);
        if (sent <= 0)
            return false;
        const auto count = static_cast<std::size_t>(sent);
        const std::size_t fromHead = std::min(count, head.size());
        head = head.subspan(fromHead);
        body = body.subspan(count - fromHead);
    }
    return true;
}

bool SendAll(int fd, std::span<const std::uint8_t> bytes) {
    return SendFrame(fd, bytes, {});
}

// Sends each frame through `send(begin, length)` (its place in the stream),
// then waits for the reply bytes the script says the download reads.
template <typename SendNext> bool PlayHost(int fd, const FrameScript& script, SendNext send) {
    std::array<std::uint8_t, usb::kFrameHeaderSize + 1> reply{};
    std::size_t begin = 0;
    bool ok = true;
    for (std::size_t frame = 0; ok && frame < script.frameEnds.size(); ++frame) {
        const std::size_t length = script.frameEnds[frame] - begin;
        ok = send(begin, length);
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
                SendAll(fd, reply);
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

FrameScript RecordDownload(const std::string& imagePath, bool keepBytes,
                           pda::DownloadTarget target) {
    FrameScript recorded;
    NullSink out;
    pda::PdaRunContext context(pda::PdaSettings{imagePath, target});
    emulators::PdaEmulatorOptions options;
    options.keepBytesLimit = 0;
    emulators::PdaBootLoaderEmulator emulator(options);
    emulators::InProcessUsbPair pair = emulators::MakeInProcessUsbPair();
    emulators::AttachEmulator(*pair.device, emulator);
    usb::CUsbPipe pipe(std::make_unique<Recorder>(std::move(pair.host), recorded, keepBytes));
    if (!pipe.OpenPipe() || !pda::RunPdaDownload(pipe, context, out).Passed())
        std::abort();
    emulators::DetachEmulator(*pair.device);
    return recorded;
}

const FrameScript& DownloadScript() {
    static const FrameScript kScript = RecordDownload(ImagePath(), true);
    return kScript;
}

std::unique_ptr<usb::UsbTransport> RecordingTransport(std::unique_ptr<usb::UsbTransport> inner,
                                                      FrameScript& script) {
    return std::make_unique<Recorder>(std::move(inner), script, true);
}

bool CopyRaw(const FrameScript& script) {
    int ends[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0)
        return false;
    std::thread device([&] { RawDevice(ends[1], script); });
    const bool ok = PlayHost(ends[0], script, [&](std::size_t begin, std::size_t length) {
        return SendAll(ends[0], std::span(script.stream).subspan(begin, length));
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

// A data frame is its framing and packet header, then payload; any frame
// no longer than that carries no data.
constexpr std::size_t kFrameHead = usb::kFrameHeaderSize + pda::kRecordPacketHeaderSize;
// Read size: the same 256 KiB the download reads a batch of packets in.
constexpr std::size_t kReadBlock = pda::kRecordDataBatch * pda::kMaxChunk;

bool CopyRawHost(int fd, const FrameScript& shape, const std::string& imagePath) {
    const int image = ::open(imagePath.c_str(), O_RDONLY | O_CLOEXEC);
    if (image < 0)
        return false;
    Sha256 hash;
    // The block read last, from `next` on not sent yet; room behind it for
    // a frame that runs over its end.
    std::vector<std::uint8_t> buffer(kReadBlock + pda::kMaxChunk);
    std::size_t next = 0;
    std::size_t end = 0;
    bool atEnd = false;
    const auto readBlock = [&] {
        std::memmove(buffer.data(), buffer.data() + next, end - next);
        end -= next;
        next = 0;
        const ssize_t got = ::read(image, buffer.data() + end, kReadBlock);
        if (got <= 0) {
            atEnd = got == 0;
            return false;
        }
        hash.Update(buffer.data() + end, static_cast<std::size_t>(got));
        end += static_cast<std::size_t>(got);
        return true;
    };
    const std::array<std::uint8_t, kFrameHead> head{};
    bool ok = PlayHost(fd, shape, [&](std::size_t, std::size_t length) {
        const std::size_t data = length > kFrameHead ? length - kFrameHead : 0;
        while (end - next < data)
            if (!readBlock())
                return false;
        const std::span<const std::uint8_t> payload(buffer.data() + next, data);
        next += data;
        return SendFrame(fd, std::span(head).first(length - data), payload);
    });
    // What no frame carried (the end record, the last headers) is hashed
    // too: the digest is the whole file's.
    next = end;
    while (ok && readBlock())
        next = end;
    ok = ok && atEnd;
    std::printf("%s\n", HexOf(hash.Final()).c_str());
    ::close(image);
    return ok;
}

void CopyRawDevice(int fd, const FrameScript& shape) {
    RawDevice(fd, shape);
}

std::optional<int> RunRawCopyRole(int argc, char** argv) {
    if (argc < 2 || (argv[1] != kRawHostRole && argv[1] != kRawDeviceRole))
        return std::nullopt;
    const std::optional<FrameScript> shape = argc >= 4 ? LoadShape(argv[3]) : std::nullopt;
    if (!shape)
        return 2;
    const int fd = std::stoi(argv[2]);
    if (argv[1] == kRawDeviceRole) {
        CopyRawDevice(fd, *shape);
        return 0;
    }
    return argc == 5 && CopyRawHost(fd, *shape, argv[4]) ? 0 : 1;
}

} // namespace marlow::bench
