#pragma once
// The station: every slot of a station file served at once, no widgets.
// Each slot has a thread of its own with its own event loop, device watcher,
// phone engine and handset run, so that eight handsets flash side by side
// and one slot's trouble (a fault, a removal, a stall) ends that slot's run
// alone. A handset is served by the slot whose port path it is plugged into;
// after the hand-over the slot's run takes only the modem port under that
// same port path, so handsets that re-enumerate at once never cross. A slot
// is ready for the next handset once its handset has left (its boot loader
// gone from the bus and its modem port from the device tree); a handset
// plugged in before then waits and is served as soon as the slot is free.
// A phone slot's handset comes as its modem port alone: the port appearing
// under the slot's port path starts a phone-only run.
//
// The station tells what happens as SlotEvents, on the slots' threads, one
// call at a time; it records each run when recording is on and keeps the
// slots' live status on a publisher when one is given.

#include "common/result.h"
#include "common/run_verdict.h"
#include "phone/phone_files.h"
#include "station/station_file.h"
#include "usb/device_source.h"

#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace marlow::phone {
class LibraryChannels;
class PhoneLibrary;
} // namespace marlow::phone
namespace marlow::records {
class RunWriter;
}
namespace marlow::status {
class StatusPublisher;
}

namespace marlow::station {

class SlotServer;

enum class SlotEventKind {
    NotServed, // a handset on a port no slot names, or a boot loader on a phone slot
    Started,   // a handset's run began in the slot
    Progress,  // the file being sent and how far
    Finished,  // the run's verdict
    Ready,     // the handset left: the slot waits for the next one
};

struct SlotEvent {
    SlotEventKind kind = SlotEventKind::Started;
    std::string slot{}; // empty for a handset on no slot's port
    std::string port{}; // the USB port path the handset sits on
    std::string file{}; // Progress: the file being sent
    int percent = 0;
    RunFinished finished{};               // Finished
    std::string text{};                   // NotServed: why
    std::chrono::milliseconds elapsed{0}; // Finished: the run's time
};

// One slot's shift.
struct SlotShift {
    std::string slot{};
    int units = 0;
    int passed = 0;
    int failed = 0; // failed or removed; a run the station's stop ended is no unit
};

struct StationSetup {
    station::StationFile station{};
    std::string stationId{};
    std::string frontEnd = "cli station";         // what each record names as its front end
    phone::PhoneLibrary* library = nullptr;       // its channels shared by the slots
    std::shared_ptr<records::RunWriter> writer{}; // null: nothing recorded
    status::StatusPublisher* publisher = nullptr; // null: no live status
    // The folder holding the device tree's sys/ and dev/ ("/" on a real system).
    std::string deviceTreeRoot = "/";
    // A run silent this long fails (its slot alone).
    std::chrono::seconds timeout{120};
    // On a slot's thread, never two at once.
    std::function<void(const SlotEvent&)> events{};
};

class Station {
public:
    // Reads each slot's phone package as `marlow-cli phone` reads one, then
    // starts a thread per slot; the slots wait for handsets. A package that
    // cannot be read, or names a file that cannot be sent, refuses the
    // station before any slot serves, each such slot's reason on a line.
    static Result<std::unique_ptr<Station>> Start(StationSetup setup);
    ~Station(); // Stop()
    Station(const Station&) = delete;
    Station& operator=(const Station&) = delete;

    // What the device source reports goes here (any thread).
    usb::DeviceEvents Handlers();
    // Every run still going ends stopped, its handset let go; the slots'
    // threads end. Records already finished are waited for, bounded.
    void Stop();
    std::vector<SlotShift> Shift() const;

private:
    // `phoneFiles`: each slot's package read, in the station file's order.
    Station(StationSetup setup, const std::vector<phone::PhoneFileSet>& phoneFiles);
    void Arrived(std::unique_ptr<usb::UsbTransport> transport);
    void Tell(const SlotEvent& event);

    StationSetup setup_;
    std::unique_ptr<phone::LibraryChannels> library_;
    std::vector<std::unique_ptr<SlotServer>> slots_;
    std::mutex eventsMutex_;
};

} // namespace marlow::station
