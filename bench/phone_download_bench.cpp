// One firmware image through our download library and a pseudo-terminal to
// the modem emulator, against the floor the line itself sets: the very same
// frames copied stop-and-wait over a pseudo-terminal by two threads that do
// nothing else. Each iteration runs both, one right after the other;
// `ratio` is the median over the iterations of the floor's time over the
// library's (1.0 = as fast as the raw copy; the goal is 0.8 or more). Short
// runs side by side and their median, because on a loaded machine a single
// run's time varies tenfold.

#include "emulators/modem_emulator.h"
#include "modemlink/modem_wire.h"
#include "phone/ifwd_download_dll.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <condition_variable>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <mutex>
#include <termios.h>
#include <thread>
#include <unistd.h>

namespace {

using namespace marlow;
using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr std::size_t kImageBytes = 1u << 20;

std::vector<std::uint8_t> ImageBytes() {
    std::vector<std::uint8_t> bytes(kImageBytes);
    for (std::size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<std::uint8_t>(i * 131 + (i >> 11));
    return bytes;
}

class Scratch {
public:
    Scratch()
        : dir_(std::filesystem::temp_directory_path() /
               ("marlow-phone-bench-" + std::to_string(::getpid()))) {
        std::filesystem::create_directories(dir_);
        const std::vector<std::uint8_t> bytes = ImageBytes();
        std::FILE* f = std::fopen(Image().c_str(), "wb");
        std::fwrite(bytes.data(), 1, bytes.size(), f);
        std::fclose(f);
    }
    ~Scratch() { std::filesystem::remove_all(dir_); }
    std::string Image() const { return (dir_ / "modem.fls").string(); }
    std::string Link() const { return (dir_ / "modem").string(); }

private:
    std::filesystem::path dir_;
};

// --- the library's run, through its C entry points

struct Reports {
    std::mutex mutex;
    std::condition_variable came;
    std::optional<std::uint32_t> outcome; // 0 done, 1 failed
    std::string text;
};
Reports reports;

void OnReport(std::uint8_t, std::uint32_t code, const char* text) {
    if (code == IFWD_DL_Progress)
        return;
    const std::lock_guard lock(reports.mutex);
    reports.outcome = code;
    reports.text = text != nullptr ? text : "";
    reports.came.notify_all();
}

bool AwaitPart(std::string* why) {
    std::unique_lock lock(reports.mutex);
    reports.came.wait(lock, [] { return reports.outcome.has_value(); });
    const bool done = *reports.outcome == IFWD_DL_OK;
    *why = reports.text;
    reports.outcome.reset();
    return done;
}

// The library with its port open and the modem booted, ready to send parts.
class LibrarySession {
public:
    LibrarySession(const Scratch& scratch, std::string* why) : scratch_(scratch) {
        emulators::ModemEmulatorOptions options;
        options.keepData = false;
        auto started = emulators::ModemEmulator::Start(scratch.Link(), options);
        if (!started) {
            *why = started.Error();
            return;
        }
        modem_ = std::move(*started);
        _IFWD_DL_init_callback(&OnReport, status_);
        const std::string link = scratch.Link();
        if (_IFWD_DL_open_comm_port(1, link.c_str(), link.c_str(), 460800, status_) != 0) {
            *why = status_;
            return;
        }
        open_ = true;
        std::uint8_t controlBlock[IFWD_DL_CONTROL_BLOCK_SIZE] = {};
        if (_IFWD_DL_boot_target(1, scratch.Image().c_str(), controlBlock, status_) == 1)
            *why = status_;
        else
            booted_ = AwaitPart(why);
    }
    ~LibrarySession() {
        if (!open_)
            return;
        _IFWD_DL_end_of_process(1, status_);
        _IFWD_DL_close_comm_port(1, status_);
    }
    bool Ready() const { return booted_; }

    // Seconds for one firmware part, or nullopt with the reason.
    std::optional<double> SendFirmware(std::string* why) {
        const auto start = Clock::now();
        if (_IFWD_DL_download_fls_file(1, scratch_.Image().c_str(), status_) == 1) {
            *why = status_;
            return std::nullopt;
        }
        if (!AwaitPart(why))
            return std::nullopt;
        return std::chrono::duration<double>(Clock::now() - start).count();
    }

private:
    const Scratch& scratch_;
    std::unique_ptr<emulators::ModemEmulator> modem_;
    char status_[IFWD_DL_STATUS_SIZE] = {};
    bool open_ = false;
    bool booted_ = false;
};

// --- the floor: the same frames, copied stop-and-wait

struct Conversation {
    std::vector<std::vector<std::uint8_t>> requests;
    std::vector<std::vector<std::uint8_t>> answers;
};

Conversation SameFrames() {
    const std::vector<std::uint8_t> image = ImageBytes();
    Conversation talk;
    std::uint8_t sequence = 0;
    const auto add = [&](modemlink::FrameType type, std::vector<std::uint8_t> payload) {
        ++sequence;
        talk.requests.push_back(modemlink::EncodeFrame({type, sequence, std::move(payload)}));
        talk.answers.push_back(modemlink::EncodeFrame({modemlink::FrameType::Ack, sequence, {}}));
    };
    add(modemlink::FrameType::FileBegin,
        modemlink::EncodeFileBegin({modemlink::FileKind::Fls, 0, kImageBytes, "modem.fls"}));
    for (std::size_t offset = 0; offset < image.size(); offset += modemlink::kDataChunk) {
        const std::span<const std::uint8_t> chunk(image.data() + offset, modemlink::kDataChunk);
        add(modemlink::FrameType::FileData,
            modemlink::EncodeFileData(static_cast<std::uint32_t>(offset), chunk));
    }
    add(modemlink::FrameType::FileEnd, modemlink::EncodeFileEnd(modemlink::Crc32(image)));
    return talk;
}

bool WriteAll(int fd, std::span<const std::uint8_t> bytes) {
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n <= 0)
            return false;
        bytes = bytes.subspan(static_cast<std::size_t>(n));
    }
    return true;
}

bool ReadExactly(int fd, std::vector<std::uint8_t>& buffer, std::size_t size) {
    buffer.resize(size);
    for (std::size_t got = 0; got < size;) {
        const ssize_t n = ::read(fd, buffer.data() + got, size - got);
        if (n <= 0)
            return false;
        got += static_cast<std::size_t>(n);
    }
    return true;
}

std::optional<double> RawCopy(const Conversation& talk, std::string* why) {
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0 || ::grantpt(master) != 0 || ::unlockpt(master) != 0) {
        *why = "no pseudo-terminal";
        return std::nullopt;
    }
    const int slave = ::open(::ptsname(master), O_RDWR | O_NOCTTY);
    termios tio{};
    ::tcgetattr(slave, &tio);
    ::cfmakeraw(&tio);
    ::tcsetattr(slave, TCSANOW, &tio);

    std::thread modemSide([&] {
        std::vector<std::uint8_t> buffer;
        for (std::size_t i = 0; i < talk.requests.size(); ++i) {
            if (!ReadExactly(master, buffer, talk.requests[i].size()) ||
                !WriteAll(master, talk.answers[i]))
                return;
        }
    });
    const auto start = Clock::now();
    std::vector<std::uint8_t> buffer;
    bool ok = true;
    for (std::size_t i = 0; ok && i < talk.requests.size(); ++i)
        ok =
            WriteAll(slave, talk.requests[i]) && ReadExactly(slave, buffer, talk.answers[i].size());
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    modemSide.join();
    ::close(slave);
    ::close(master);
    if (!ok)
        *why = "the raw copy broke off";
    return ok ? std::optional(seconds) : std::nullopt;
}

void BM_FirmwareAgainstRawCopy(benchmark::State& state) {
    const Scratch scratch;
    const Conversation talk = SameFrames();
    std::string why;
    LibrarySession library(scratch, &why);
    if (!library.Ready()) {
        state.SkipWithError(why.c_str());
        return;
    }
    std::vector<double> ratios;
    double librarySeconds = 0;
    double rawSeconds = 0;
    for (auto _ : state) {
        // Turn about, so that a busy moment of the machine hits both alike.
        const std::optional<double> raw = RawCopy(talk, &why);
        const std::optional<double> sent = raw ? library.SendFirmware(&why) : std::nullopt;
        if (!sent) {
            state.SkipWithError(why.c_str());
            return;
        }
        state.SetIterationTime(*sent);
        ratios.push_back(*raw / *sent);
        librarySeconds += *sent;
        rawSeconds += *raw;
    }
    const double mib = static_cast<double>(kImageBytes) / (1 << 20);
    const auto runs = static_cast<double>(state.iterations());
    state.counters["library_MiBps"] = mib * runs / librarySeconds;
    state.counters["raw_copy_MiBps"] = mib * runs / rawSeconds;
    std::nth_element(ratios.begin(), ratios.begin() + ratios.size() / 2, ratios.end());
    state.counters["ratio"] = ratios[ratios.size() / 2];
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kImageBytes));
}

} // namespace

BENCHMARK(BM_FirmwareAgainstRawCopy)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(61);
