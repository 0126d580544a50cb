#pragma once
// What a phone download tells, as typed events: facts of the run (the port
// wait, the boot, the library's reports, each part, the end), never words.
// The main-window skin and the front-panel skin turn them into the texts and
// controls of their presentation; `marlow-cli phone --json` prints them;
// tests record them and compare whole sequences.
//
// Events come on the engine's owner thread, one at a time and in order.
// Every run that began its port wait ends with exactly one RunFinished: its
// own verdict, or the verdict and reason of the cancel or stop that ended it.

#include "common/event_fields.h"
#include "common/run_verdict.h"
#include "phone/phone_files.h"
#include "phone/phone_states.h"

#include <cstdint>
#include <optional>
#include <string>
#include <variant>

namespace marlow::phone {

// A main-window start found the Phone option off.
struct PhoneNotSelected {
    bool operator==(const PhoneNotSelected&) const = default;
};
// A note from reading the phone package; `messageBox`: the operator must see it.
struct PackageNote {
    std::string text;
    bool messageBox = false;
    bool operator==(const PackageNote&) const = default;
};
struct PackageUnreadable {
    bool operator==(const PackageUnreadable&) const = default;
};
// The wait for the modem's port began; `afterPdaDownload` when a PDA
// download handed over.
struct PortWaitStarted {
    bool afterPdaDownload = false;
    bool operator==(const PortWaitStarted&) const = default;
};
// The wait's first poll found no port (later polls are not told: thousands).
struct PortWaitPolled {
    bool operator==(const PortWaitPolled&) const = default;
};
struct PortWaitGaveUp {
    bool operator==(const PortWaitGaveUp&) const = default;
};
struct PortFound {
    int number = 0;
    bool operator==(const PortFound&) const = default;
};
// The start the found port led to is done (the modem boots, or the port
// would not open).
struct PortWaitEnded {
    bool operator==(const PortWaitEnded&) const = default;
};
// The run opens the port to boot the modem.
struct BootStarted {
    bool operator==(const BootStarted&) const = default;
};
// `retry`: a re-boot's open failed.
struct PortOpenFailed {
    bool retry = false;
    bool operator==(const PortOpenFailed&) const = default;
};
// The boot call went out: the modem boots.
struct BootUnderway {
    bool operator==(const BootUnderway&) const = default;
};
// The library refused the boot call.
struct BootRefused {
    bool operator==(const BootRefused&) const = default;
};
// The boot stalled: the run aborts it, closes the port and boots again.
struct BootStalled {
    bool operator==(const BootStalled&) const = default;
};
struct ReBootPending {
    bool operator==(const ReBootPending&) const = default;
};
struct ReBootStarted {
    bool operator==(const ReBootStarted&) const = default;
};
// A status text the library left after opening or closing the port.
struct LibraryStatus {
    std::string text;
    bool operator==(const LibraryStatus&) const = default;
};
// A status text still waiting when the next report is handled.
struct StatusBeforeReport {
    std::string text;
    bool operator==(const StatusBeforeReport&) const = default;
};
// A report the run acts on: its code (IFWD_DL_...), its text, and the
// percentage the text reads as.
struct LibraryReport {
    std::uint32_t code = 0;
    std::string text;
    int percent = 0;
    bool operator==(const LibraryReport&) const = default;
};
struct PartStarted {
    PhoneFileRole role = PhoneFileRole::None;
    std::string file; // display name
    bool operator==(const PartStarted&) const = default;
};
// The library refused the part's download call.
struct PartRefused {
    PhoneFileRole role = PhoneFileRole::None;
    bool operator==(const PartRefused&) const = default;
};
// The run failed in `state` for `reason`; the port is closed next.
struct PartFailed {
    PhoneState state = stIdle;
    std::string reason;
    bool operator==(const PartFailed&) const = default;
};
// The failed run has released the port.
struct FailedRunReleased {
    bool operator==(const FailedRunReleased&) const = default;
};
// The last part's "done": the run ends the modem's process.
struct PartsDone {
    bool operator==(const PartsDone&) const = default;
};
struct ProcessEnding {
    bool operator==(const ProcessEnding&) const = default;
};
// The run aborts the library's process before releasing the port.
struct RunAborting {
    bool operator==(const RunAborting&) const = default;
};
struct PhoneDownloaded {
    bool operator==(const PhoneDownloaded&) const = default;
};
// A report after the end of the process: the port is closed.
struct LastPartClosing {
    bool operator==(const LastPartClosing&) const = default;
};
struct LastPartClosed {
    bool operator==(const LastPartClosed&) const = default;
};
// The main window's cancel released the run.
struct RunCancelled {
    bool operator==(const RunCancelled&) const = default;
};

using PhoneRunEvent =
    std::variant<PhoneNotSelected, PackageNote, PackageUnreadable, PortWaitStarted, PortWaitPolled,
                 PortWaitGaveUp, PortFound, PortWaitEnded, BootStarted, PortOpenFailed,
                 BootUnderway, BootRefused, BootStalled, ReBootPending, ReBootStarted,
                 LibraryStatus, StatusBeforeReport, LibraryReport, PartStarted, PartRefused,
                 PartFailed, FailedRunReleased, PartsDone, ProcessEnding, RunAborting,
                 PhoneDownloaded, LastPartClosing, LastPartClosed, RunCancelled, RunFinished>;

class PhoneEventSink {
public:
    virtual ~PhoneEventSink() = default;
    // One call at a time, in order; it must not call back into the run.
    virtual void Post(const PhoneRunEvent& event) = 0;
};

// The event's stable kebab-case name ("part-started", "run-finished") and
// its fields by stable name: what `--json` prints, one object per event.
EventRecord RecordOf(const PhoneRunEvent& event);
const char* EventName(const PhoneRunEvent& event);
// One line for people: the name and the fields, texts escaped.
std::string DescribeEvent(const PhoneRunEvent& event);

// The label of a failure by the state the run failed in: "Boot Failed" for
// a loader or the boot, "Failed (EEP)" for the firmware and EEPROM images.
const char* FailureLabel(PhoneState state);

// How a run ended, as its owners tell the three apart: a run that gave up
// waiting for the port failed, but its operator has a cable to check.
enum class PhoneRunEnd { Succeeded, Failed, PortNotFound };

// Follows a run's events; at its RunFinished, tells which end it came to.
// A stopped run tells nothing: whoever stopped it has already acted on it.
class PhoneRunEnds {
public:
    std::optional<PhoneRunEnd> Follow(const PhoneRunEvent& event);

private:
    bool portWaitGaveUp_ = false;
};

} // namespace marlow::phone
