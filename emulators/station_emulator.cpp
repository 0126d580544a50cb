#include "emulators/station_emulator.h"

#include "emulators/modem_emulator.h"
#include "emulators/pda_bus_device.h"
#include "emulators/usb_tty_tree.h"
#include "emulators/virtual_bus_device.h"
#include "pda/pda_protocol.h"
#include "phone/phone_ports.h"
#include "phone/usb_tty_paths.h"
#include "usb/virtual_bus_socket.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <linux/magic.h>
#include <optional>
#include <poll.h>
#include <random>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <thread>
#include <unistd.h>

namespace marlow::emulators {

using namespace std::chrono_literals;
using SteadyClock = std::chrono::steady_clock;

namespace {

// How many descriptors, in any process (this one too), are open on the
// character device `device`. Read from /proc, because inotify merges an
// event with an identical one still unread: two closes close together
// count as one, and a port counted by its events would never be let go.
int DescriptorsOn(dev_t device) {
    int found = 0;
    std::error_code error;
    std::filesystem::directory_iterator process("/proc", error), end;
    for (; !error && process != end; process.increment(error)) {
        const std::string pid = process->path().filename().string();
        if (pid.empty() || pid.find_first_not_of("0123456789") != std::string::npos)
            continue;
        std::error_code fdError;
        std::filesystem::directory_iterator fd(process->path() / "fd", fdError);
        for (; !fdError && fd != end; fd.increment(fdError)) {
            struct stat target {};
            if (::stat(fd->path().c_str(), &target) == 0 && S_ISCHR(target.st_mode) &&
                target.st_rdev == device)
                ++found;
        }
    }
    return found;
}

constexpr int kMostSlots = 64;
constexpr const char* kDescription = "Quillon handset (emulated)";

// A real handset's times (--pace): a flash write, the way from the boot
// loader leaving the bus to the modem's port, an operator's hands.
constexpr auto kPacedFlashWrite = 400ms;
constexpr auto kPacedReEnumeration = 1500ms;
constexpr auto kPacedReplug = 2s;
// How long a modem's port stays closed after a failure before the handset
// is unplugged: a re-boot closes and reopens it at once.
constexpr auto kLetGoGrace = 300ms;
constexpr auto kPacedLetGoGrace = 2s;

std::optional<std::string> RootProblem(const std::string& root) {
    struct statfs system {};
    if (::statfs((root + "/sys").c_str(), &system) == 0 && system.f_type == SYSFS_MAGIC)
        return root + " holds the system's own /sys; name a folder of the rig's own";
    return std::nullopt;
}

std::string WhyThePdaSideEnded(VirtualBusDevice::Receive end, const PdaEmulatorReport& pda) {
    if (end == VirtualBusDevice::Receive::Stopped)
        return "stopped";
    if (!pda.violation.empty())
        return "violation";
    if (end == VirtualBusDevice::Receive::HostGone)
        return "host-let-go";
    if (end == VirtualBusDevice::Receive::Garbage)
        return "garbage";
    return pda.leftWith ? "pda-done" : "unplugged";
}

} // namespace

struct StationEmulator::Slot {
    int number = 0;
    std::string portPath;
    std::vector<std::size_t> handsets;  // in the order the slot plays them
    usb::WakeSignal wake;               // a stop, or news from its modem
    VirtualBusDevice* device = nullptr; // while its boot loader serves; under mutex_
    std::thread thread;
};

Status CheckStationOptions(const StationEmulatorOptions& options) {
    const int n = options.slotCount;
    if (n < 1 || n > kMostSlots)
        return Failure{"a station has 1 to " + std::to_string(kMostSlots) + " slots"};
    if (options.randomFaultPercent < 0 || options.randomFaultPercent > 100)
        return Failure{"the random faults' chance is a percentage, from 0 to 100"};
    if (options.handsets < 0)
        return Failure{"a station plays 0 handsets or more"};
    if (options.plugOrder.empty())
        return {};
    std::vector<int> sorted = options.plugOrder;
    std::sort(sorted.begin(), sorted.end());
    for (std::size_t i = 0; i < sorted.size(); ++i)
        if (sorted.size() != static_cast<std::size_t>(n) || sorted[i] != static_cast<int>(i) + 1)
            return Failure{"the plug order names each slot from 1 to " + std::to_string(n) +
                           " once"};
    return {};
}

std::string SlotPortPath(int slot) {
    return "1-1." + std::to_string(slot);
}

std::string HandsetSerialNumber(int seed, int handset) {
    char number[16];
    std::snprintf(number, sizeof number, "%04d", handset);
    return "QE" + std::to_string(seed) + "-" + number;
}

StationEmulator::StationEmulator(StationEmulatorOptions options) : options_(std::move(options)) {}

StationEmulator::~StationEmulator() {
    Stop();
    for (const auto& slot : slots_)
        if (slot->thread.joinable())
            slot->thread.join();
}

Status StationEmulator::Run(std::function<void(const HandsetEvent&)> told) {
    if (const Status usable = CheckStationOptions(options_); !usable)
        return usable;
    const int n = options_.slotCount;
    std::vector<int> order = options_.plugOrder;
    if (order.empty())
        for (int slot = 1; slot <= n; ++slot)
            order.push_back(slot);
    if (const auto problem = RootProblem(options_.root))
        return Failure{*problem};
    if (const Status prepared = PrepareUsbTtyTree(options_.root); !prepared)
        return prepared;

    told_ = std::move(told);
    std::mt19937 random(static_cast<unsigned>(options_.seed));
    const int count = options_.handsets > 0 ? options_.handsets : n;
    for (int h = 0; h < count; ++h) {
        Handset handset{.slot = order[static_cast<std::size_t>(h % n)],
                        .faults = {},
                        .serialNumber = HandsetSerialNumber(options_.seed, h + 1)};
        if (const auto given = options_.slotFaults.find(handset.slot);
            given != options_.slotFaults.end())
            handset.faults = given->second;
        if (std::uniform_int_distribution<int>(0, 99)(random) < options_.randomFaultPercent)
            (void)AddHandsetFault(RandomHandsetFault(random), handset.faults);
        handsets_.push_back(std::move(handset));
    }
    // After every first run, so that a slot serves its own handsets first.
    for (std::size_t h = 0; options_.retest && h < static_cast<std::size_t>(count); ++h)
        if (!handsets_[h].faults.words.empty())
            handsets_.push_back({.slot = handsets_[h].slot % n + 1,
                                 .faults = {},
                                 .serialNumber = handsets_[h].serialNumber,
                                 .retestOf = h});
    // Under the lock: a stop may come from a signal's thread meanwhile.
    std::unique_lock lock(mutex_);
    plugged_.assign(handsets_.size(), false);
    left_.assign(handsets_.size(), false);
    ttyTaken_.assign(2 * static_cast<std::size_t>(n), false);
    for (int i = 0; i < n; ++i) {
        auto slot = std::make_unique<Slot>();
        slot->number = order[static_cast<std::size_t>(i)];
        slot->portPath = SlotPortPath(slot->number);
        for (std::size_t h = 0; h < handsets_.size(); ++h)
            if (handsets_[h].slot == slot->number)
                slot->handsets.push_back(h);
        slots_.push_back(std::move(slot));
    }
    for (const auto& slot : slots_)
        slot->thread = std::thread([this, &slot = *slot] { PlaySlot(slot); });
    lock.unlock();
    for (const auto& slot : slots_)
        slot->thread.join();
    return {};
}

void StationEmulator::Stop() {
    stopping_ = true;
    const std::lock_guard lock(mutex_);
    for (const auto& slot : slots_) {
        if (slot->device != nullptr)
            slot->device->Stop();
        slot->wake.Signal();
    }
    turn_.notify_all();
}

void StationEmulator::PlaySlot(Slot& slot) {
    const auto replug = options_.pace ? std::chrono::milliseconds(kPacedReplug) : 0ms;
    for (const std::size_t handset : slot.handsets) {
        if (!WaitForTurn(handset, replug))
            return;
        Play(slot, handset);
    }
}

// The first round comes in plug order, each handset after the one before
// it is on the bus; in turn, each after the one before has left. A slot's
// later handsets come once its last one has gone (after an operator's
// pause, paced).
bool StationEmulator::WaitForTurn(std::size_t handset, std::chrono::milliseconds replug) {
    std::unique_lock lock(mutex_);
    const std::size_t n = slots_.size();
    if (handset > 0 && options_.inTurn)
        turn_.wait(lock, [&] { return stopping_ || left_[handset - 1]; });
    else if (handset > 0 && handset < n)
        turn_.wait(lock, [&] { return stopping_ || plugged_[handset - 1]; });
    // A handset comes back only once it has gone.
    if (const std::optional<std::size_t> first = handsets_[handset].retestOf)
        turn_.wait(lock, [&] { return stopping_ || left_[*first]; });
    if (replug.count() > 0 && handset > 0 && (options_.inTurn || handset >= n))
        turn_.wait_for(lock, replug, [&] { return stopping_.load(); });
    return !stopping_;
}

void StationEmulator::Play(Slot& slot, std::size_t number) {
    const Handset& handset = handsets_[number];
    HandsetEvent event;
    event.handset = static_cast<int>(number) + 1;
    event.serialNumber = handset.serialNumber;
    event.retest = handset.retestOf.has_value();
    event.slot = slot.number;
    event.portPath = slot.portPath;
    event.faults = handset.faults.words;
    const auto mark = [this, number](std::vector<bool>& flags) {
        const std::lock_guard lock(mutex_);
        flags[number] = true;
        turn_.notify_all();
    };
    PdaEmulatorOptions pdaOptions{.faults = handset.faults.pda, .keepBytesLimit = 0};
    if (options_.pace && pdaOptions.faults.flashWriteTime.count() == 0)
        pdaOptions.faults.flashWriteTime = kPacedFlashWrite;
    PdaBootLoaderEmulator pda(pdaOptions);
    VirtualBusDevice device;
    if (const Status connected =
            device.Connect(options_.busPath, {.text = kDescription,
                                              .portPath = slot.portPath,
                                              .serialNumber = handset.serialNumber});
        !connected) {
        event.kind = HandsetEvent::Kind::Left;
        event.why = "no-bus";
        event.problem = connected.Error();
        mark(plugged_);
        Tell(event);
        mark(left_);
        return;
    }
    {
        const std::lock_guard lock(mutex_);
        slot.device = &device;
        if (stopping_)
            device.Stop();
    }
    Tell(event);
    mark(plugged_);
    const VirtualBusDevice::Receive end = ServePdaEmulator(device, pda);
    {
        const std::lock_guard lock(mutex_);
        slot.device = nullptr;
    }
    device.Disconnect();
    event.pda = pda.Report();
    event.why = WhyThePdaSideEnded(end, event.pda);
    const bool toModem =
        event.pda.leftWith == static_cast<std::uint8_t>(pda::PdaCommand::PHONE_DOWN_CMD);
    if (toModem && event.pda.violation.empty() && end != VirtualBusDevice::Receive::Stopped)
        PlayModem(slot, event, handset);
    event.kind = HandsetEvent::Kind::Left;
    Tell(event);
    mark(left_);
}

void StationEmulator::PlayModem(Slot& slot, HandsetEvent& event, const Handset& handset) {
    if (options_.pace) {
        std::unique_lock lock(mutex_);
        if (turn_.wait_for(lock, kPacedReEnumeration, [&] { return stopping_.load(); })) {
            event.why = "stopped";
            return;
        }
    }
    event.tty = TakeTty(slot.number);
    event.ttyNode = phone::TtyDeviceNode(options_.root, event.tty);
    const UsbTtyPlace place{.portPath = slot.portPath,
                            .interfaceNumber = 0,
                            .ttyName = event.tty,
                            .vendor = phone::kModemVendorId,
                            .product = phone::kModemProductId};
    ModemEmulatorOptions modemOptions;
    modemOptions.faults = handset.faults.modem;
    modemOptions.keepData = false;
    modemOptions.onChange = [&slot] { slot.wake.Signal(); };
    // The tree first, then the node: discovery that sees the node finds the tree.
    Status published = PublishUsbTty(options_.root, place);
    Result<std::unique_ptr<ModemEmulator>> modem =
        published ? ModemEmulator::Start(event.ttyNode, modemOptions)
                  : Result<std::unique_ptr<ModemEmulator>>(Failure{published.Error()});
    if (modem) {
        event.kind = HandsetEvent::Kind::Modem;
        Tell(event);
        event.why = WatchModem(slot, **modem);
        if (event.why == "no-modem")
            event.problem = "cannot watch who opens " + (*modem)->DevicePath();
        event.modemBoots = (*modem)->Boots();
        event.modemFiles = static_cast<int>((*modem)->Files().size());
        event.modemEndsOfProcess = (*modem)->EndsOfProcess();
        event.modemAborts = (*modem)->Aborts();
        modem->reset(); // the node goes, the line hangs up
    } else {
        event.why = "no-modem";
        event.problem = modem.Error();
    }
    WithdrawUsbTty(options_.root, place);
    FreeTty(event.tty);
}

std::string StationEmulator::WatchModem(Slot& slot, ModemEmulator& modem) {
    // Who has the port open besides the emulator: the host, from its open
    // to its close.
    usb::UniqueFd opens(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC));
    if (!opens.Valid() ||
        ::inotify_add_watch(opens.Get(), modem.DevicePath().c_str(), IN_OPEN | IN_CLOSE) < 0)
        return "no-modem";
    struct stat port {};
    if (::stat(modem.DevicePath().c_str(), &port) != 0)
        return "no-modem";
    const auto grace = options_.pace ? std::chrono::milliseconds(kPacedLetGoGrace)
                                     : std::chrono::milliseconds(kLetGoGrace);
    int holders = 0;
    bool letGo = false; // since closedSince
    SteadyClock::time_point closedSince{};
    std::array<char, 4096> events{};
    for (;;) {
        slot.wake.Clear();
        if (stopping_)
            return "stopped";
        if (modem.Vanished())
            return "vanished";
        if (letGo && modem.EndsOfProcess() > 0)
            return "modem-done";
        int timeout = -1;
        if (letGo) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                closedSince + grace - SteadyClock::now());
            if (left.count() <= 0)
                return "host-let-go";
            timeout = static_cast<int>(left.count());
        }
        std::array<pollfd, 2> fds{pollfd{slot.wake.Fd(), POLLIN, 0},
                                  pollfd{opens.Get(), POLLIN, 0}};
        if (::poll(fds.data(), fds.size(), timeout) < 0 && errno != EINTR)
            return "no-modem";
        bool heard = false;
        while (::read(opens.Get(), events.data(), events.size()) > 0)
            heard = true;
        // The events only say when to look: the emulator's own descriptor
        // (which keeps the line up) aside, who holds the port now.
        if (heard)
            holders = std::max(0, DescriptorsOn(port.st_rdev) - 1);
        if (holders > 0) {
            letGo = false;
        } else if (!letGo && heard) {
            letGo = true;
            closedSince = SteadyClock::now();
        }
    }
}

std::string StationEmulator::TakeTty(int slot) {
    const std::lock_guard lock(mutex_);
    // At home the numbers run against the slots; when its home is taken (the
    // slot's last modem has not gone yet), the first free one above them all.
    std::size_t number = slots_.size() - static_cast<std::size_t>(slot);
    if (ttyTaken_[number]) {
        number = slots_.size();
        while (number < ttyTaken_.size() && ttyTaken_[number])
            ++number;
        if (number == ttyTaken_.size())
            ttyTaken_.push_back(false);
    }
    ttyTaken_[number] = true;
    return "ttyACM" + std::to_string(number);
}

void StationEmulator::FreeTty(const std::string& tty) {
    const std::lock_guard lock(mutex_);
    const std::size_t number = std::stoul(tty.substr(std::string_view("ttyACM").size()));
    if (number < ttyTaken_.size())
        ttyTaken_[number] = false;
}

void StationEmulator::Tell(const HandsetEvent& event) {
    const std::lock_guard lock(tellMutex_);
    if (told_)
        told_(event);
}

} // namespace marlow::emulators
