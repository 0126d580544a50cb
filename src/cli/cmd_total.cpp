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
#include "handset/handset_run.h"
#include "hotplug/device_watcher.h"
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
        return Outcome::Running; // the phone half decides
    case Verdict::Stopped:
        return Outcome::Stopped;
    case Verdict::DeviceRemoved:
        return Outcome::DeviceRemoved;
    case Verdict::Failed:
        break;
    }
    return Outcome::Failed;
}

// Both halves' events reach the run's record before they are shown.
class RecordedTotal final : public pda::PdaEventSink, public phone::PhoneEventSink {
public:
    explicit RecordedTotal(TotalDisplay& shown) : shown_(shown) {}
    void RecordInto(records::RecordingReceiver* record) { record_ = record; }
    void Post(const pda::PdaEvent& event) override {
        if (record_ != nullptr)
            record_->Post(event);
        shown_.Post(event);
    }
    void Post(const phone::PhoneRunEvent& event) override {
        if (record_ != nullptr)
            record_->Post(event);
        shown_.Post(event);
    }

private:
    TotalDisplay& shown_;
    records::RecordingReceiver* record_ = nullptr;
};

class TotalSession : public hotplug::DeviceWatcherOwner {
public:
    TotalSession(const TotalOptions& options, phone::PhoneLibrary& library,
                 phone::PhonePortLocator& ports);
    int Run(usb::DeviceSource& source);

    pda::PdaRunContext& ContextFor(const std::string&) override { return context_; }
    pda::PdaEventSink& SinkFor(const std::string&) override { return recorded_; }
    void MessageBox(std::string_view text) override { display_.MessageBox(text, ""); }
    void Log(std::string_view text) override { display_.Log(text); }
    void PanelDeviceArrived() override;
    void PdaRunEnded(const std::string&, const pda::PdaRunOutcome& outcome) override {
        handset_.PdaHalfEnded(outcome);
    }
    void PdaDownloadDone(bool mainWindowMode) override;
    void PanelDisconnectedDisplay() override;
    void PanelAbortedDisplay() override;

private:
    void Arrived(std::unique_ptr<usb::UsbTransport> transport);
    void StartPda();
    void OnComplete();
    void Stop(usb::StopCause cause);
    void End(Outcome outcome, const std::string& why);
    void CheckPhone();
    void Release();
    int ExitCode(const StopSignal& stop) const;
    int Recorded(int jobCode);

    const TotalOptions& options_;
    station::EventLoop loop_;
    station::ProgressWatchdog watchdog_;
    TotalDisplay display_;
    RecordedTotal recorded_{display_};
    std::unique_ptr<records::RecordingReceiver> record_;
    pda::PdaRunContext context_;
    phone::PhoneEngine engine_;
    handset::HandsetRun handset_;
    // Raised with a stop signal: ends the handset's open at once.
    usb::StopRequest stop_;
    hotplug::CDeviceWatcher watcher_;
    bool deviceSeen_ = false;
    bool phoneHalfBegun_ = false;
    bool stopping_ = false;
    Outcome outcome_ = Outcome::Running;
    std::string reason_;
};

TotalSession::TotalSession(const TotalOptions& options, phone::PhoneLibrary& library,
                           phone::PhonePortLocator& ports)
    : options_(options), watchdog_(options.timeout),
      display_(options.output,
               {[this](const RunFinished& finished) {
                    if (const Outcome outcome = OutcomeOf(finished.verdict);
                        outcome != Outcome::Running)
                        loop_.Post([this, outcome, finished] { End(outcome, finished.reason); });
                },
                [this](const std::string& step) { watchdog_.Progress(step); }}),
      context_(pda::PdaSettings{
          .downloadPath = options.list, .target = options.target, .frontPanelMode = true}),
      engine_([&] {
          phone::PhoneEngineSetup setup;
          setup.owner = phone::PhoneOwner::FrontPanel;
          setup.library = &library;
          setup.events = &recorded_;
          setup.clock = &loop_;
          setup.ownerThread = &loop_;
          setup.ports = &ports;
          setup.phoneSelected = [this] { return handset_.PhoneHalfSelected(); };
          return setup;
      }()),
      watcher_(*this,
               {.openRetry = station::InterruptibleOpen(stop_, [this] { return &watchdog_; })}) {
    loop_.SetTickHandler([this](phone::PhoneTimer timer) { engine_.OnTimer(timer); });
}

void TotalSession::PanelDeviceArrived() {
    deviceSeen_ = true;
    watchdog_.Arm("PDA: Device Connected!");
    // The panel answers the arrival first and starts the download after.
    loop_.Post([this] { StartPda(); });
}

// The panel serves the one handset it was started for.
void TotalSession::Arrived(std::unique_ptr<usb::UsbTransport> transport) {
    const std::string path = transport->DevicePath();
    if (deviceSeen_)
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
            recorded_.RecordInto(record_.get());
        }
    }
    // Its open is a step of the run like any other: --timeout bounds it.
    watchdog_.Arm("PDA: opening " + path);
    watcher_.OnDeviceArrival(std::move(transport));
    if (!deviceSeen_ && !watchdog_.Expired())
        watchdog_.Disarm(); // not opened: the wait for a handset goes on
}

void TotalSession::StartPda() {
    if (!InputFile::Open(options_.list).Ok()) {
        display_.MessageBox("Selected File dosen't exist\nCheck selected file", "");
        End(Outcome::Failed, "the list cannot be opened");
        return;
    }
    if (!watcher_.StartPdaDownloads())
        End(Outcome::Failed, "the PDA download could not be started");
}

void TotalSession::PdaDownloadDone(bool) {
    loop_.Post([this] { OnComplete(); });
}

void TotalSession::OnComplete() {
    display_.Log("OnComplete()+");
    switch (handset_.PdaHandsetLeft()) {
    case handset::AfterPda::Done:
        display_.Status("Download Successfully!");
        display_.Log("Download Successfully!");
        End(Outcome::Failed, "the list handed nothing over to the modem");
        break;
    case handset::AfterPda::PhoneHalf:
        display_.Log("else if((m_DownSelect &  ONLY_PHONE_DOWN) && (g_AllDownLoad  == TRUE))");
        handset_.TakeHandedOverFiles(engine_.Files());
        phoneHalfBegun_ = true;
        display_.BeginPhoneHalf();
        display_.Log("OnButtonDownstart m_DownSelect = " + std::to_string(handset_.m_DownSelect));
        handset_.StartPhoneHalf(engine_);
        break;
    case handset::AfterPda::NotHandedOver:
        display_.Log("Downloaded Error Retry!!");
        End(Outcome::Failed, "the PDA download ended without handing over to the modem");
        break;
    }
    display_.Log("OnComplete()-");
}

void TotalSession::PanelDisconnectedDisplay() {
    display_.Status("Device Disconnected!");
    display_.Percent("Reconnect Device to Retry!");
    if (!stopping_)
        End(Outcome::DeviceRemoved, "the handset left before its download was complete");
}

void TotalSession::PanelAbortedDisplay() {
    display_.Status("Aborted Download!");
    display_.Percent("Reconnect Device to Retry!");
    End(stopping_ ? Outcome::Stopped : Outcome::Failed,
        stopping_ ? "" : "the PDA download was aborted");
}

// The panel's Stop, for whichever half is running; `cause` says who asked.
void TotalSession::Stop(usb::StopCause cause) {
    stopping_ = true;
    if (handset_.PhoneHalfSelected()) {
        if (cause == usb::StopCause::TimedOut)
            engine_.StopPanelRun(Verdict::Failed, watchdog_.Reason());
        else
            engine_.StopPanelRun();
        display_.Log("OnButtonCancel - OK!!");
        End(Outcome::Stopped, "");
    } else if (handset_.PdaHalfSelected()) {
        display_.Log("if(m_DownSelect &  ONLY_PDA_DOWN)");
        context_.flashWriting = false;
        if (!watcher_.OnServiceDlgCancel(cause) || watcher_.DeviceCount() == 0)
            End(Outcome::Stopped, "");
    } else {
        End(Outcome::Stopped, "");
    }
    handset_.End();
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

void TotalSession::CheckPhone() {
    if (!phoneHalfBegun_)
        return;
    // A failed phone half's verdict carries the engine's reason: the
    // library's text, the label, or the port that did not appear.
    if (const std::optional<phone::PhoneRunEnd> ended = display_.PhoneEnded()) {
        const bool passed = *ended == phone::PhoneRunEnd::Succeeded;
        End(passed ? Outcome::Passed : Outcome::Failed, passed ? "" : display_.PhoneReason());
        return;
    }
    const bool waitingOrRunning =
        loop_.TimerRunning(phone::PhoneTimer::PortPoll) || engine_.Inst().state != phone::stIdle;
    // The panel would wait for its operator's Stop; a command has nobody to wait for.
    if (handset_.PhoneHalfSelected() && !waitingOrRunning)
        End(Outcome::Failed, "the modem port could not be opened");
}

int TotalSession::Run(usb::DeviceSource& source) {
    // Down Start with PDA and PHONE ticked: the PDA half first, a phone half to follow.
    handset_.Begin(handset::RunMode::Total);
    context_.SetSettings(handset_.PdaSettingsFor(context_.Settings()));
    const StopSignal stop([this] {
        stop_.Raise();
        loop_.Post([] {});
    });
    const usb::DeviceEvents handlers{
        .arrived =
            [this](std::unique_ptr<usb::UsbTransport> transport) { Arrived(std::move(transport)); },
        .removed = [this](const std::string& path) { watcher_.OnDeviceRemoveComplete(path); },
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
        if (watchdog_.Expired()) {
            End(Outcome::TimedOut, watchdog_.Reason());
            Stop(usb::StopCause::TimedOut);
        }
        if (!deviceSeen_ && std::chrono::steady_clock::now() >= waitEnd) {
            display_.MessageBox("USB Cable is not conntected! or\nKey is not Pressed!", "");
            End(Outcome::Failed, "no handset arrived");
        }
        if (outcome_ == Outcome::Running)
            CheckPhone();
    }
    Release();
    source.Stop();
    display_.Close(VerdictOf(outcome_), reason_);
    return Recorded(ExitCode(stop));
}

// The whole run's end, after its halves', is the record's; the command ends
// once the record is on the disk, or says it is not.
int TotalSession::Recorded(int jobCode) {
    if (!record_)
        return jobCode;
    recorded_.RecordInto(nullptr);
    record_->RunEnded(RunFinished{.verdict = VerdictOf(outcome_), .reason = reason_});
    std::optional<records::RunEnding> given;
    if (outcome_ == Outcome::TimedOut)
        given = records::RunEnding{.verdict = records::RecordVerdict::Failed,
                                   .reason = reason_,
                                   .errorClass = records::ErrorClass::TimeOut,
                                   .half = handset_.PhoneHalfSelected() || phoneHalfBegun_
                                               ? records::Half::Phone
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

// Stops what still runs and lets a handset still on the bus go.
void TotalSession::Release() {
    if (engine_.Inst().state != phone::stIdle)
        engine_.StopPanelRun();
    watcher_.OnClose();
    const auto until = std::chrono::steady_clock::now() + 2s;
    while (watcher_.DeviceCount() > 0 && std::chrono::steady_clock::now() < until)
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
