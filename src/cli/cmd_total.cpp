// marlow-cli total: the front panel's Total run. The PDA list goes to the
// handset's boot loader; its end hands the handset over to the modem; then
// the modem's port is waited for and the list's phone files are downloaded.
// The handset's run, both halves, is one record in the run store, its slot
// the port the handset sat on.

#include "cli/arguments.h"
#include "cli/command_registry.h"
#include "cli/device_sources.h"
#include "cli/front_panel_printer.h"
#include "cli/modem_setup.h"
#include "cli/output.h"
#include "cli/run_recording.h"
#include "cli/shared_options.h"
#include "cli/stop_signal.h"
#include "common/input_file.h"
#include "handset/whole_run.h"
#include "pda/download_plan_check.h"
#include "phone/phone_engine.h"
#include "records/recording_receiver.h"
#include "records/run_inputs.h"
#include "records/run_writer.h"
#include "station/event_loop.h"
#include "station/run_watchdog.h"

#include <QCommandLineParser>

#include <memory>
#include <optional>

namespace marlow::cli {
namespace {

using namespace std::chrono_literals;

struct TotalOptions {
    std::string list;
    pda::DownloadTarget target = pda::DownloadTarget::Flash;
    std::string bus; // empty: --usb
    std::string busGroup;
    std::chrono::seconds wait{31};
    std::chrono::seconds timeout{120};
    bool check = true;
    QString library;
    QString port;
    QString pattern;
    PhoneCliOutput output;
    std::optional<CommandRecording> recording;
    std::vector<records::InputFacts> inputs; // as the plan check found them
};

// How a Total run ends: one verdict for both halves.
enum class Outcome { Running, Passed, Failed, Stopped, DeviceRemoved, TimedOut };

Verdict VerdictOf(Outcome outcome) {
    switch (outcome) {
    case Outcome::Passed:
        return Verdict::Passed;
    case Outcome::Stopped:
        return Verdict::Stopped;
    case Outcome::DeviceRemoved:
        return Verdict::DeviceRemoved;
    case Outcome::Running:
    case Outcome::Failed:
    case Outcome::TimedOut:
        break;
    }
    return Verdict::Failed;
}

Outcome OutcomeOf(Verdict verdict) {
    switch (verdict) {
    case Verdict::Passed:
        return Outcome::Passed;
    case Verdict::Stopped:
        return Outcome::Stopped;
    case Verdict::DeviceRemoved:
        return Outcome::DeviceRemoved;
    case Verdict::Failed:
        break;
    }
    return Outcome::Failed;
}

// The command serves one handset's whole run (handset::WholeRun) and shows
// its event stream as the front panel does; the stream also goes to the
// run's record.
class TotalSession final : public handset::HandsetEventSink {
public:
    TotalSession(const TotalOptions& options, phone::PhoneLibrary& library,
                 phone::PhonePortLocator& ports);
    int Run(usb::DeviceSource& source);

    // The whole run's events, on the command's thread.
    void Post(const handset::HandsetEvent& event) override;

private:
    void Arrived(std::unique_ptr<usb::UsbTransport> transport);
    void Removed(const std::string& path);
    void Finished(const handset::RunFinished& whole);
    void Stop(usb::StopCause cause);
    void End(Outcome outcome, const std::string& why);
    void Release();
    int ExitCode(const StopSignal& stop) const;
    int Recorded(int jobCode);

    const TotalOptions& options_;
    station::EventLoop loop_;
    station::ProgressWatchdog watchdog_;
    TotalDisplay display_;
    std::unique_ptr<records::RecordingReceiver> record_;
    handset::RunPhoneEngine phone_;
    // Raised with a stop signal: ends the handset's open at once.
    usb::StopRequest stop_;
    std::unique_ptr<handset::WholeRun> run_;
    bool running_ = false; // the run has not told its end yet
    int removedWhileEnding_ = 0;
    std::string served_; // the handset's boot loader
    bool onBus_ = false; // ... until the bus says it has gone
    bool deviceSeen_ = false;
    bool stopping_ = false;
    bool timedOut_ = false;
    std::string timeout_; // the watchdog's reason, once it has run out
    handset::Half half_ = handset::Half::Pda;
    Outcome outcome_ = Outcome::Running;
    std::string reason_;
};

TotalSession::TotalSession(const TotalOptions& options, phone::PhoneLibrary& library,
                           phone::PhonePortLocator& ports)
    : options_(options), watchdog_(options.timeout),
      display_(options.output, [this](const std::string& step) { watchdog_.Progress(step); }),
      phone_([&] {
          phone::PhoneEngineSetup setup;
          setup.owner = phone::PhoneOwner::FrontPanel;
          setup.library = &library;
          setup.clock = &loop_;
          setup.ownerThread = &loop_;
          setup.ports = &ports;
          return setup;
      }()) {
    loop_.SetTickHandler([this](phone::PhoneTimer timer) { phone_.Engine().OnTimer(timer); });
}

// The run's events reach its record before they are shown.
void TotalSession::Post(const handset::HandsetEvent& event) {
    if (record_) {
        if (const auto* pda = std::get_if<pda::PdaEvent>(&event))
            record_->Post(*pda);
        else if (const auto* phone = std::get_if<phone::PhoneRunEvent>(&event))
            record_->Post(*phone);
    }
    display_.Post(event);
    if (const auto* pda = std::get_if<pda::PdaEvent>(&event)) {
        if (const auto* connected = std::get_if<pda::DeviceConnected>(pda);
            connected != nullptr && connected->opened) {
            deviceSeen_ = true;
            watchdog_.Arm("PDA: Device Connected!");
        }
    } else if (const auto* whole = std::get_if<handset::RunFinished>(&event)) {
        Finished(*whole);
    }
}

// The panel serves the one handset it was started for.
void TotalSession::Arrived(std::unique_ptr<usb::UsbTransport> transport) {
    const std::string path = transport->DevicePath();
    if (run_)
        return display_.NotServed(path);
    display_.Serve(path);
    if (!record_) {
        const std::string port = transport->PortPath();
        if (auto run =
                options_.recording->Begin({.slot = port.empty() ? path : port,
                                           .kind = "total",
                                           .handset = {.usbPath = port.empty() ? path : port}})) {
            record_ = std::make_unique<records::RecordingReceiver>(std::move(run));
            record_->Inputs(options_.inputs);
        }
    }
    served_ = path;
    onBus_ = true;
    // Its open is a step of the run like any other: --timeout bounds it.
    watchdog_.Arm("PDA: opening " + path);
    running_ = true;
    // Down Start with PDA and PHONE ticked: the PDA half first, a phone half to follow.
    run_ = std::make_unique<handset::WholeRun>(handset::WholeRunSetup{
        .mode = handset::RunMode::Total,
        .pda = {.downloadPath = options_.list, .target = options_.target},
        .phone = &phone_,
        .ownerThread = &loop_,
        .openRetry = station::InterruptibleOpen(stop_, [this] { return &watchdog_; }),
        .events = this});
    run_->Start(std::move(transport));
}

// Every removal the bus reports is the panel's log's, also once the run has
// let its handset go; one heard while the run is ending follows its end.
void TotalSession::Removed(const std::string& path) {
    if (path == served_)
        onBus_ = false;
    if (running_ && !run_->Finished())
        run_->Removed(path);
    else if (running_)
        ++removedWhileEnding_;
    else
        display_.Post(hotplug::WatcherStep::RemoveComplete);
}

void TotalSession::Finished(const handset::RunFinished& whole) {
    running_ = false;
    for (; removedWhileEnding_ > 0; --removedWhileEnding_)
        display_.Post(hotplug::WatcherStep::RemoveComplete);
    if (whole.ending == handset::Ending::NotOpened && !stopping_ && !timedOut_) {
        // Not opened: the wait for a handset goes on.
        run_.reset();
        served_.clear();
        onBus_ = false;
        watchdog_.Disarm();
        return;
    }
    half_ = whole.half;
    if (timedOut_)
        return End(Outcome::TimedOut, timeout_);
    if (stopping_ && whole.ending == handset::Ending::NotOpened)
        return End(Outcome::Stopped, "");
    End(OutcomeOf(whole.finished.verdict), whole.finished.reason);
}

// The panel's Stop, for whichever half is running; `cause` says who asked.
void TotalSession::Stop(usb::StopCause cause) {
    stopping_ = true;
    timedOut_ = cause == usb::StopCause::TimedOut;
    if (timedOut_)
        timeout_ = watchdog_.Reason();
    watchdog_.Disarm();
    if (running_)
        run_->Abandon({timedOut_ ? Verdict::Failed : Verdict::Stopped, timeout_});
    else
        End(timedOut_ ? Outcome::TimedOut : Outcome::Stopped, timeout_);
}

void TotalSession::End(Outcome outcome, const std::string& why) {
    if (outcome_ != Outcome::Running)
        return;
    outcome_ = outcome;
    reason_ = why;
    watchdog_.Disarm();
    if (!why.empty())
        display_.Note("total: " + why);
}

int TotalSession::Run(usb::DeviceSource& source) {
    const StopSignal stop([this] {
        stop_.Raise();
        loop_.Post([] {});
    });
    const usb::DeviceEvents handlers{
        .arrived =
            [this](std::unique_ptr<usb::UsbTransport> transport) { Arrived(std::move(transport)); },
        .removed = [this](const std::string& path) { Removed(path); },
        .problem = [this](const std::string& text) { display_.Problem(text); },
        .alreadyAttached = {}};
    if (const Status started = source.Start(station::PostedTo(loop_, handlers)); !started) {
        display_.Note("total: " + started.Error());
        return kExitFailed;
    }
    const auto waitEnd = std::chrono::steady_clock::now() + options_.wait;
    while (outcome_ == Outcome::Running) {
        loop_.RunOnce(station::Earlier(deviceSeen_ ? std::nullopt : std::optional(waitEnd),
                                       watchdog_.Deadline()));
        if (stop.Raised() && !stopping_)
            Stop(usb::StopCause::Operator);
        if (watchdog_.Expired() && !timedOut_)
            Stop(usb::StopCause::TimedOut);
        if (!deviceSeen_ && !running_ && std::chrono::steady_clock::now() >= waitEnd) {
            display_.MessageBox("USB Cable is not conntected! or\nKey is not Pressed!", "");
            End(Outcome::Failed, "no handset arrived");
        }
    }
    Release();
    source.Stop();
    display_.Close(VerdictOf(outcome_), reason_, half_);
    return Recorded(ExitCode(stop));
}

// The whole run's end, after its halves', is the record's; the command ends
// once the record is on the disk, or says it is not.
int TotalSession::Recorded(int jobCode) {
    if (!record_)
        return jobCode;
    record_->RunEnded(RunFinished{.verdict = VerdictOf(outcome_), .reason = reason_});
    std::optional<records::RunEnding> given;
    if (outcome_ == Outcome::TimedOut)
        given = records::RunEnding{.verdict = records::RecordVerdict::Failed,
                                   .reason = reason_,
                                   .errorClass = records::ErrorClass::TimeOut,
                                   .half = half_ == handset::Half::Phone ? records::Half::Phone
                                                                         : records::Half::Pda};
    return options_.recording->Finished(record_->Finish(given), jobCode, options_.output.json);
}

int TotalSession::ExitCode(const StopSignal& stop) const {
    switch (outcome_) {
    case Outcome::Passed:
        return kExitOk;
    case Outcome::Stopped:
        return stop.Raised() ? stop.ExitCode() : kExitStopped;
    case Outcome::TimedOut:
        return kExitTimedOut;
    case Outcome::Running:
    case Outcome::Failed:
    case Outcome::DeviceRemoved:
        break;
    }
    return kExitFailed;
}

// The run has let its handset go (a boot loader still on the bus was told
// to leave); its leaving is waited for a while. Without a run, the panel's
// close releases a bus with nothing on it.
void TotalSession::Release() {
    if (!run_)
        display_.Post(hotplug::WatcherStep::UnloadBegun);
    const auto until = std::chrono::steady_clock::now() + 2s;
    while (onBus_ && std::chrono::steady_clock::now() < until)
        loop_.RunOnce(until);
}

bool ParseOptions(const QStringList& args, TotalOptions& options, int* exitCode) {
    QCommandLineParser parser;
    parser.setApplicationDescription(
        "The front panel's Total run: downloads a list (.lst) to the handset's PDA boot "
        "loader, hands the handset over to the modem, waits for the modem's port and "
        "downloads the list's phone files through the download library. stdout: --trace "
        "(the panel's log) or --json (the run's events as pda --json and phone --json write "
        "them, then the verdict) only; progress and messages go to stderr. Exit code 0 "
        "only when both halves succeeded; 4 when the run showed no progress for --timeout "
        "seconds; 128 + the signal when stopped (Ctrl-C 130, SIGTERM 143, SIGHUP 129; a "
        "closed stdout 141).");
    const QCommandLineOption list("list", "The list to download.", "FILE.lst");
    const QCommandLineOption target = TargetOption(pda::DownloadTarget::Flash);
    const HandsetSourceOptions handsets(HandsetCount::One, 31);
    const QCommandLineOption timeout = TimeoutOption();
    const QCommandLineOption noCheck(
        "no-check", "Do not check the list's images and phone files before the handset is "
                    "touched (the historic sequence).");
    const ModemPortOptions modem("The modem's port, instead of looking for it.",
                                 "How a found port number becomes its name.");
    const OutputOptions output("Print the panel's log.");
    const QCommandLineOption runStore = RunStoreOption();
    parser.addOptions({list, target, runStore});
    parser.addOptions(handsets.All());
    parser.addOptions({timeout, noCheck});
    parser.addOptions(modem.All());
    parser.addOptions(output.All());
    if (!ParseArguments(parser, args, exitCode))
        return false;
    *exitCode = kExitUsage;
    const OptionReader read(parser, args.value(0).toStdString());
    const auto download = read.PdaDownload(list, target, pda::DownloadTarget::Flash, handsets);
    if (!download)
        return false;
    if (!read.ModemRun(modem, output, options))
        return false;
    // Both numbers of seconds are checked, so one run names both mistakes.
    const auto waitSeconds = read.Seconds(handsets.wait);
    const auto timeoutSeconds = read.Seconds(timeout);
    if (!waitSeconds || !timeoutSeconds)
        return false;
    options.list = download->file;
    options.target = download->target;
    options.bus = download->handsets.bus;
    options.busGroup = download->handsets.busGroup;
    options.wait = *waitSeconds;
    options.timeout = *timeoutSeconds;
    options.check = !parser.isSet(noCheck);
    options.recording = CommandRecording::Open(read, runStore, "marlow-cli total", exitCode);
    return options.recording.has_value();
}

int RunTotal(const QStringList& args) {
    TotalOptions options;
    int exitCode = kExitOk;
    if (!ParseOptions(args, options, &exitCode))
        return exitCode;
    const std::string name = args.value(0).toStdString();
    if (const Result<InputFile> list = InputFile::Open(options.list); !list) {
        Err(name + ": cannot open " + options.list + " (" + list.Error() + ")\n");
        return kExitBadInput;
    }
    const pda::DownloadCheck check{.wholeFiles = options.check, .phoneGroup = options.check};
    const Result<pda::DownloadPlan> plan = pda::CheckDownloadPlan(options.list, check);
    if (!plan) {
        Err(name + ": " + plan.Error() + "\n");
        return kExitBadInput;
    }
    if (options.recording->On())
        options.inputs = records::InputsOfPlan(options.list, *plan);
    const std::unique_ptr<phone::VendorLibrary> library = LoadPhoneLibrary(name, options.library);
    if (!library)
        return kExitFailed;
    Result<std::unique_ptr<usb::DeviceSource>> source =
        MakePdaDeviceSource(options.bus, options.busGroup);
    if (!source) {
        Err(name + ": " + source.Error() + "\n");
        return kExitUsage;
    }
    PhoneCliPorts ports = MakePhonePorts(options.port, options.pattern, phone::kFrontPanelPortList);
    TotalSession session(options, *library, *ports.locator);
    return session.Run(**source);
}

CommandRegistrar reg({"total", "the Total run: a PDA list, then the phone, on one handset",
                      RunTotal});

} // namespace
} // namespace marlow::cli
