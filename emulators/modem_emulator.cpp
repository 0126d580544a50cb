#include "modem_emulator.h"

#include "common/path_rules.h"
#include "common/regular_file.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace marlow::emulators {
namespace {

using namespace std::chrono_literals;

struct TerminalPair {
    int master = -1;
    int slave = -1;
    std::string slavePath;
};

// Both ends open, or neither.
Result<TerminalPair> OpenTerminalPair() {
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master < 0 || ::grantpt(master) != 0 || ::unlockpt(master) != 0) {
        Failure failure{std::string("cannot create a pseudo-terminal: ") + std::strerror(errno)};
        if (master >= 0)
            ::close(master);
        return failure;
    }
    char name[128];
    if (::ptsname_r(master, name, sizeof name) != 0) {
        ::close(master);
        return Failure{"cannot name the pseudo-terminal"};
    }
    const int slave = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (slave < 0) {
        Failure failure{std::string("cannot open ") + name + ": " + std::strerror(errno)};
        ::close(master);
        return failure;
    }
    // Raw from the start: an echoing terminal would bounce the host's frames back.
    termios tio{};
    ::tcgetattr(slave, &tio);
    ::cfmakeraw(&tio);
    ::tcsetattr(slave, TCSANOW, &tio);
    return TerminalPair{master, slave, name};
}

Status PlaceLink(const std::string& linkPath, const std::string& target) {
    struct stat existing {};
    if (::lstat(linkPath.c_str(), &existing) == 0) {
        if (!S_ISLNK(existing.st_mode))
            return Failure{linkPath + " exists and is not a link; the modem will not replace it"};
        ::unlink(linkPath.c_str());
    }
    if (::symlink(target.c_str(), linkPath.c_str()) != 0)
        return Failure{"cannot create " + linkPath + ": " + std::strerror(errno)};
    return {};
}

// A received name is the host's text: keep only its last component.
std::string SafeFileName(const std::string& name) {
    const std::string base = FileNamePart(name);
    if (base.empty() || base == "." || base == "..")
        return "unnamed.bin";
    return base;
}

} // namespace

Result<std::unique_ptr<ModemEmulator>> ModemEmulator::Start(const std::string& linkPath,
                                                            ModemEmulatorOptions options) {
    const Result<TerminalPair> pair = OpenTerminalPair();
    if (!pair)
        return Failure{pair.Error()};
    if (const Status placed = PlaceLink(linkPath, pair->slavePath); !placed) {
        ::close(pair->master);
        ::close(pair->slave);
        return Failure{placed.Error()};
    }
    Result<std::unique_ptr<modemlink::SerialLine>> line =
        modemlink::SerialLine::Adopt(pair->master);
    if (!line) {
        ::close(pair->slave);
        ::unlink(linkPath.c_str());
        return Failure{line.Error()};
    }
    return std::unique_ptr<ModemEmulator>(new ModemEmulator(linkPath, pair->slavePath, pair->slave,
                                                            std::move(*line), std::move(options)));
}

ModemEmulator::ModemEmulator(std::string linkPath, std::string devicePath, int slaveFd,
                             std::unique_ptr<modemlink::SerialLine> master,
                             ModemEmulatorOptions options)
    : linkPath_(std::move(linkPath)), devicePath_(std::move(devicePath)), slaveFd_(slaveFd),
      master_(std::move(master)), options_(std::move(options)),
      device_(options_.faults, options_.keepData) {
    server_ = std::thread([this] { Serve(); });
}

ModemEmulator::~ModemEmulator() {
    stopping_ = true;
    WakeServer();
    server_.join();
    LeaveLink();
}

void ModemEmulator::Vanish() {
    vanished_ = true;
    WakeServer();
}

void ModemEmulator::WakeServer() {
    // Only the server thread drops the line, and it does so under the lock.
    const std::lock_guard lock(mutex_);
    if (master_)
        master_->Interrupt();
}

void ModemEmulator::LeaveLink() {
    const std::lock_guard lock(mutex_);
    if (slaveFd_ < 0)
        return;
    ::unlink(linkPath_.c_str());
    master_.reset(); // hangs the line up under the host
    ::close(slaveFd_);
    slaveFd_ = -1;
}

void ModemEmulator::Serve() {
    modemlink::FrameDecoder decoder;
    std::vector<std::uint8_t> incoming;
    while (!stopping_ && !vanished_) {
        incoming.clear();
        const modemlink::LineStatus got = master_->Read(incoming, 200ms, decoder.MidFrame());
        if (got == modemlink::LineStatus::TimedOut)
            continue;
        if (got != modemlink::LineStatus::Ok)
            break;
        decoder.Feed(incoming);
        while (!vanished_) {
            const std::optional<modemlink::Frame> request = decoder.Next();
            if (!request)
                break;
            Answer(*request);
            if (options_.onChange)
                options_.onChange();
        }
    }
    if (vanished_)
        LeaveLink();
    if (options_.onChange)
        options_.onChange();
}

void ModemEmulator::Answer(const modemlink::Frame& request) {
    ModemAnswer answer;
    {
        const std::lock_guard lock(mutex_);
        const std::size_t filesBefore = device_.Files().size();
        answer = device_.Handle(request);
        if (device_.Files().size() > filesBefore)
            Store(device_.Files().back());
    }
    if (answer.kind == ModemAnswer::Kind::Vanish) {
        vanished_ = true;
        return;
    }
    if (answer.kind == ModemAnswer::Kind::Reply)
        master_->WriteAll(modemlink::EncodeFrame(answer.reply), 1000ms);
}

void ModemEmulator::Store(const ReceivedModemFile& file) {
    if (options_.storeDirectory.empty() || !options_.keepData)
        return;
    const std::string path = options_.storeDirectory + "/" + SafeFileName(file.name);
    if (const Status written = WriteRegularFile(path, file.data); !written)
        problems_.push_back("cannot store " + path + ": " + written.Error());
}

std::vector<ReceivedModemFile> ModemEmulator::Files() const {
    const std::lock_guard lock(mutex_);
    return device_.Files();
}

int ModemEmulator::Boots() const {
    const std::lock_guard lock(mutex_);
    return device_.Boots();
}

int ModemEmulator::EndsOfProcess() const {
    const std::lock_guard lock(mutex_);
    return device_.EndsOfProcess();
}

int ModemEmulator::Aborts() const {
    const std::lock_guard lock(mutex_);
    return device_.Aborts();
}

std::vector<std::string> ModemEmulator::Problems() const {
    const std::lock_guard lock(mutex_);
    return problems_;
}

} // namespace marlow::emulators
