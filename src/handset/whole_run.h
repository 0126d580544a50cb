#pragma once
// WholeRun: one handset's whole run, from its boot loader on the bus to one
// verdict: the PDA half on the boot loader's pipe (a device watcher of its
// own, whose download thread runs the half), the hand-over to the modem, the
// wait for this handset's modem port (by the USB port path it sat on where
// that is known, the locator's plain search otherwise), the phone half on an
// engine of its own, and the ending. A PDA-only run ends after its first
// half, a phone-only run begins with the port wait.
//
// Its owner gives it the handset and the facts of the bus (a boot loader's
// removal) and its clock's ticks, and hears one stream of typed events: the
// halves' own events, the device watcher's steps, the hand-over and the port
// wait, and last, exactly once, the whole run's RunFinished, which says which
// half it came from. Every event is heard in the order it happened: those of
// other threads and those of the owner's alike pass through the owner's
// thread. The run holds no text and no widget; every call and every event
// is on the owner's thread. An end lets the handset go (a boot loader still
// on the bus is told to leave) before it is told; the owner may destroy the
// run from within the RunFinished post.

#include "handset/handset_run.h"
#include "hotplug/device_watcher.h"
#include "pda/download_plan_check.h"
#include "pda/pda_download.h"
#include "phone/phone_engine.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <variant>

namespace marlow::handset {

enum class Half { Pda, Phone };

// PHONE_DOWN_CMD went out: the phone half follows once the boot loader has
// left the bus.
struct HandedOver {
    std::string usbPortPath; // where the handset sat; empty where unknown
    bool operator==(const HandedOver&) const = default;
};
// The wait for the modem port began: the port under this USB port path, or
// any modem port where it is empty.
struct ModemPortWait {
    std::string usbPortPath;
    bool operator==(const ModemPortWait&) const = default;
};
// The owner's stop (or time-out) has reached the run in this half; what it
// stops follows.
struct Abandoning {
    Half half = Half::Pda;
    bool operator==(const Abandoning&) const = default;
};
// How the run came to its end where the verdict does not say all of it: what
// a front end shows besides the verdict.
enum class Ending {
    Verdict,           // the verdict says it
    NotOpened,         // the boot loader did not open: nothing was begun on it
    ListGone,          // the PDA list could not be opened as the download began
    NotStarted,        // the download command refused the handset's file, or failed
    Disconnected,      // the handset left before its PDA download was complete
    Aborted,           // the stopped PDA download's handset has left
    NothingHandedOver, // the PDA download passed, and a phone half was to follow
    NotHandedOver,     // the PDA download ended without handing over
    PhoneNotBegun,     // the phone half's files could not be taken: no modem was touched
};
// The whole run's end: its verdict and reason, and the half it came from.
struct RunFinished {
    marlow::RunFinished finished;
    Half half = Half::Pda;
    Ending ending = Ending::Verdict;
    bool operator==(const RunFinished&) const = default;
};

// The device watcher's steps come in the order they happen among the PDA
// half's events, so that a front end can word both as one log.
using HandsetEvent = std::variant<pda::PdaEvent, phone::PhoneRunEvent, hotplug::WatcherStep,
                                  HandedOver, ModemPortWait, Abandoning, RunFinished>;

class HandsetEventSink {
public:
    virtual ~HandsetEventSink() = default;
    virtual void Post(const HandsetEvent& event) = 0;
};

class WholeRun;

// The phone engine a front end keeps across its handsets, lent to each
// run in turn: its events and its selection are those of the run it is
// lent to, and without one it hears nothing. Kept, it keeps the library
// attached between runs.
class RunPhoneEngine final : public phone::PhoneEventSink {
public:
    // The setup's events and phoneSelected are the lender's.
    explicit RunPhoneEngine(phone::PhoneEngineSetup setup);
    phone::PhoneEngine& Engine() { return engine_; }
    const phone::PhoneEngine& Engine() const { return engine_; }

private:
    friend class WholeRun;
    void Post(const phone::PhoneRunEvent& event) override;

    WholeRun* run_ = nullptr;
    phone::PhoneEngine engine_;
};

// The phone half on an engine its owner starts itself (the main window's,
// which takes the package where the hand-over names no file and refuses a
// phone group that lacks one, as its own phone runs do). The run asks it to
// begin or to stop; the owner tells the run what the engine says
// (WholeRun::PhoneHeard) or that it could not begin (PhoneNotBegun). An
// owner with one engine may keep a run waiting until the engine is free.
class PhoneHalfOwner {
public:
    virtual ~PhoneHalfOwner() = default;
    virtual void BeginPhoneHalf(WholeRun& run, const phone::PhoneFileSet& handedOver,
                                const std::string& usbPortPath) = 0;
    // The owner's stop reached the phone half, under way or waiting.
    virtual void StopPhoneHalf(WholeRun& run, const marlow::RunFinished& why) = 0;
    // The run goes: nothing more is told to it.
    virtual void PhoneHalfGone(WholeRun& run) = 0;
};

struct WholeRunSetup {
    RunMode mode = RunMode::Total;
    // The PDA half's download; a Total run's hands over whatever its file says.
    pda::PdaSettings pda{};
    // The phone half's files; a hand-over's files replace the roles it names.
    phone::PhoneFileSet phoneFiles{};
    // The phone half's engine (its port search, clock and library channel),
    // lent to the run for its life.
    RunPhoneEngine* phone = nullptr;
    phone::OwnerThread* ownerThread = nullptr;
    usb::OpenRetryPolicy openRetry{};
    HandsetEventSink* events = nullptr;
    // The boot loader opens on a thread of its own, so that an owner whose
    // thread serves a window is never held by its attempts.
    bool openInBackground = false;
    // The PDA half waits on the opened boot loader until Go: the owner shows
    // the handset connected and runs it when its operator asks.
    bool awaitGo = false;
    // The handset is on the owner's device watcher, which lists every boot
    // loader on the bus and keeps each listed until it leaves (the main
    // window's): the run downloads to `devicePath` there with the download
    // command (its checks, its refusals), hears the watcher's reports for
    // it through Reports(), and leaves the handset on the list at its end.
    hotplug::CDeviceWatcher* listedOn = nullptr;
    std::string devicePath{};
    // The plan the download command's whole-file check found.
    std::function<void(const pda::DownloadPlan&)> planChecked{};
    // A PDA-only run whose list hands the handset over goes on with the
    // phone half, as the list decides; otherwise it ends with the PDA half.
    bool followHandOver = false;
    // The phone half on the owner's own engine instead of `phone`.
    PhoneHalfOwner* phoneOwner = nullptr;
};

class WholeRun final : hotplug::DeviceWatcherOwner, pda::PdaEventSink, phone::PhoneEventSink {
public:
    explicit WholeRun(WholeRunSetup setup);
    ~WholeRun() override;
    WholeRun(const WholeRun&) = delete;
    WholeRun& operator=(const WholeRun&) = delete;

    // The run begins on the handset's boot loader (none for a phone-only run).
    void Start(std::unique_ptr<usb::UsbTransport> bootLoader);
    // A run started with awaitGo begins its PDA half with these, once its
    // boot loader has opened (at once where it has).
    void Go(RunMode mode, const pda::PdaSettings& pda, const phone::PhoneFileSet& phoneFiles);
    // A boot loader left the bus.
    void Removed(const std::string& devicePath);
    // The owner ends the run (its stop, its time-out) with this verdict. In
    // the PDA half the download is stopped and the boot loader told to leave
    // (USB_UNLOAD_CMD); the run ends once the download's end or the
    // handset's removal is heard, with the half's own reason where this
    // verdict has none.
    void Abandon(const marlow::RunFinished& finished);
    bool Finished() const { return outcome_.has_value(); }
    // The end decided, before it is told (the owner's own reports may come
    // between).
    const std::optional<RunFinished>& Outcome() const { return outcome_; }
    bool InPhoneHalf() const { return phoneHalf_; }
    // The watcher's reports on this run's handset, for a run on its owner's
    // watcher (listedOn): the owner hands them on as it hears them.
    hotplug::DeviceWatcherOwner& Reports() { return *this; }
    // What the owner's engine says in this run's phone half (phoneOwner), on
    // the owner's thread as it happens.
    void PhoneHeard(const phone::PhoneRunEvent& event);
    // The owner's engine could not begin this run's phone half.
    void PhoneNotBegun(const std::string& reason);

private:
    friend class RunPhoneEngine;
    // The device watcher's owner: every report becomes a task of the owner's
    // thread, so that no watcher call is under way when the run ends.
    pda::PdaRunContext& ContextFor(const std::string&) override { return context_; }
    pda::PdaEventSink& SinkFor(const std::string&) override { return *this; }
    bool OpensInBackground() const override { return setup_.openInBackground; }
    void PostToUi(std::function<void()> task) override;
    void Step(hotplug::WatcherStep step) override;
    void Connected(const std::string&) override;
    void PdaRunEnded(const std::string&, const pda::PdaRunOutcome& outcome) override;
    void Left(const std::string&, const Leaving& leaving) override;
    void CancelCarriedOut() override;
    // The halves' events, from the download thread or the engine.
    void Post(const pda::PdaEvent& event) override;
    void Post(const phone::PhoneRunEvent& event) override;

    void Later(std::function<void()> task);
    // The handset's run begins: the phone engine is lent to it, its files set.
    void Lend();
    void StartDownloads();
    // Told in turn with the other threads' events.
    void Tell(const HandsetEvent& event);
    void Heard(const pda::PdaEvent& event);
    void Heard(const phone::PhoneRunEvent& event);
    void AfterPda();
    void BeginPhoneHalf(const std::string& usbPortPath);
    void StopPhoneHalf(const marlow::RunFinished& why);
    // A PDA download runs on the handset.
    bool Downloading() const;
    void End(Verdict verdict, const std::string& reason, Half half,
             Ending ending = Ending::Verdict);

    // Tasks still queued when the run has gone are passed over.
    std::shared_ptr<int> alive_ = std::make_shared<int>(0);
    WholeRunSetup setup_;
    HandsetRun handset_;
    pda::PdaRunContext context_;
    RunPhoneEngine* phone_;
    phone::PhoneEngine* engine_;
    std::unique_ptr<hotplug::CDeviceWatcher> watcher_;
    bool phoneHalf_ = false;
    // The owner's verdict, while its stop of the PDA half takes effect.
    std::optional<marlow::RunFinished> abandoned_;
    std::optional<RunFinished> outcome_; // decided: nothing more is
    bool told_ = false;                  // RunFinished is out: nothing more is told
    bool connected_ = false;             // the boot loader has opened
    bool handedOver_ = false;            // PHONE_DOWN_CMD went out, as the PDA half told
};

} // namespace marlow::handset
