#pragma once
// A fixture of emulated handsets: N slots, each on its own USB port path
// ("1-1.1" … "1-1.N"), each playing handsets one after another. A handset's
// PDA boot loader arrives on the virtual USB bus with its port path; after
// PHONE_DOWN_CMD it leaves the bus and comes back as a modem on a
// pseudo-terminal, published under a root folder as the kernel would show
// it (`sys/class/tty/ttyACMk` under the slot's port path, `dev/ttyACMk`), so
// that port discovery pointed at the root finds each slot's modem by its
// port path. The tty numbers do not follow the slots, as they do not on a
// real hub where handsets re-enumerate in any order.
//
// A handset leaves (is unplugged) once the host is done with it: the host
// let go of its boot loader, or of its modem's port (right after the end of
// the process, or once the port has stayed closed a moment after a
// failure: a re-boot closes and reopens it), or the handset left by a
// fault. Then the slot's next handset comes.

#include "common/result.h"
#include "emulators/handset_faults.h"
#include "emulators/pda_bootloader_emulator.h"

#include <atomic>
#include <condition_variable>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace marlow::emulators {

class ModemEmulator;

struct StationEmulatorOptions {
    std::string busPath{};
    std::string root{}; // holds the published sys/ and dev/
    int slotCount = 1;
    int handsets = 0;             // over all slots; 0: one per slot
    std::vector<int> plugOrder{}; // slot numbers from 1, each once; empty: 1 … N
    // One handset at a time, each once the one before has left (an engineer
    // walking one handset along the slots); otherwise the first round is
    // plugged in at once, in plug order.
    bool inTurn = false;
    // A real handset's times: flash writes, re-enumeration, an operator
    // who unplugs and plugs the next one.
    bool pace = false;
    std::map<int, HandsetFaults> slotFaults{}; // by slot number
    int randomFaultPercent = 0;                // each handset's chance of one random fault
    int seed = 1;
    // Each handset given a fault comes back once, mended (without it), after
    // it has left: plugged into the next slot (the last slot's into the
    // first), as a line's rework bench returns it wherever there is room.
    bool retest = false;
};

// Slots from 1 to 64, a plug order that names each once, a chance in
// percent; why not otherwise.
Status CheckStationOptions(const StationEmulatorOptions& options);

// "1-1.<slot>"
std::string SlotPortPath(int slot);

// The serial number of a fixture's handset, from 1 in plug order: the same
// for every run with the seed, and the same again when it is retested
// ("QE1-0003").
std::string HandsetSerialNumber(int seed, int handset);

struct HandsetEvent {
    enum class Kind {
        Plugged, // its boot loader is on the bus
        Modem,   // its modem's port is published
        Left,    // unplugged; `why` says what ended it
    };
    Kind kind = Kind::Plugged;
    int handset = 0; // from 1, in plug order; a retest is a plug of its own
    std::string serialNumber;
    bool retest = false; // a handset come back mended
    int slot = 0;
    std::string portPath;
    std::vector<std::string> faults;
    std::string tty;     // "ttyACM5", from Modem on
    std::string ttyNode; // <root>/dev/ttyACM5
    // Left: "stopped", "host-let-go", "pda-done" (left after its last
    // command), "unplugged" (disconnect-after), "violation", "garbage",
    // "modem-done", "vanished", "no-bus", "no-modem".
    std::string why;
    PdaEmulatorReport pda;
    int modemBoots = 0;
    int modemFiles = 0;
    int modemEndsOfProcess = 0;
    int modemAborts = 0;
    std::string problem; // no-bus, no-modem: the reason
};

class StationEmulator {
public:
    explicit StationEmulator(StationEmulatorOptions options);
    ~StationEmulator();
    StationEmulator(const StationEmulator&) = delete;
    StationEmulator& operator=(const StationEmulator&) = delete;

    // Plays every handset; returns once all have left or Stop came. `told`
    // runs on the slots' threads, one call at a time. Fails before any
    // handset when the options or the root folder are unusable.
    Status Run(std::function<void(const HandsetEvent&)> told);
    // From any thread (a signal's watcher): every handset leaves at once.
    void Stop();

private:
    struct Slot;
    struct Handset {
        int slot = 0;
        HandsetFaults faults;
        std::string serialNumber;
        std::optional<std::size_t> retestOf{}; // the handset it is, come back mended
    };
    void PlaySlot(Slot& slot);
    bool WaitForTurn(std::size_t handset, std::chrono::milliseconds replug);
    void Play(Slot& slot, std::size_t number);
    void PlayModem(Slot& slot, HandsetEvent& event, const Handset& handset);
    std::string WatchModem(Slot& slot, ModemEmulator& modem);
    std::string TakeTty(int slot);
    void FreeTty(const std::string& tty);
    void Tell(const HandsetEvent& event);

    StationEmulatorOptions options_;
    std::vector<Handset> handsets_;
    std::vector<std::unique_ptr<Slot>> slots_;
    std::function<void(const HandsetEvent&)> told_;
    std::mutex tellMutex_;

    std::mutex mutex_;
    std::condition_variable turn_;
    std::vector<bool> plugged_;
    std::vector<bool> left_;
    std::vector<bool> ttyTaken_;
    std::atomic<bool> stopping_{false};
};

} // namespace marlow::emulators
