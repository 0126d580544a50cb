// marlow-cli pda: waits for PDA boot loaders (virtual bus or real USB),
// downloads a boot image or a list to each, and tells how it went. Each
// handset's run is recorded in the run store, its slot the port the
// handset sits on (the device's path where the port is unknown).

#include "cli/arguments.h"
#include "cli/command_registry.h"
#include "cli/device_sources.h"
#include "cli/output.h"
#include "cli/pda_event_printer.h"
#include "cli/run_recording.h"
#include "cli/shared_options.h"
#include "cli/stop_signal.h"
#include "common/input_file.h"
#include "hotplug/device_watcher.h"
#include "hotplug/download_command.h"
#include "pda/download_plan_check.h"
#include "records/recording_receiver.h"
#include "records/run_inputs.h"
#include "records/run_writer.h"
#include "station/event_loop.h"
#include "station/run_watchdog.h"

#include <QCommandLineParser>

#include <future>
#include <map>
#include <memory>
#include <optional>
#include <vector>

namespace marlow::cli {
namespace {

using Clock = station::EventLoop::Clock;

// What keeps a run's watchdog from firing: a new image, a percent, a reply
// byte (state changes count too, with the state's name).
bool IsRunProgress(const pda::PdaEvent& event) {
    return std::holds_alternative<pda::ImageStarted>(event) ||
           std::holds_alternative<pda::PercentReached>(event) ||
           std::holds_alternative<pda::DeviceAnswered>(event);
}

struct PdaOptions {
    std::string file;
    pda::DownloadTarget target = pda::DownloadTarget::Ram;
    bool phone = false;
    bool check = true;
    std::string bus; // empty: --usb
    std::string busGroup;
    std::chrono::seconds wait{30};
    std::chrono::seconds timeout{120};
    int devices = 1; // 0: every handset, until stopped
    PdaCliOutput output;
    // What the check found; every run sends those files, unchanged.
    std::optional<pda::DownloadPlan> plan;
    std::optional<CommandRecording> recording;
    // Each run's files, as the plan check found them; a digest the check did
    // not make is read beside the download, never before it.
    std::shared_future<std::vector<records::InputFacts>> inputs;
};

class PdaSession : public hotplug::DeviceWatcherOwner {
public:
    explicit PdaSession(const PdaOptions& options)
        : options_(options), board_(ProgressBoard::StderrIsTerminal()),
          watcher_(*this,
                   {.openRetry = station::InterruptibleOpen(stop_, [this] { return opening_; })}) {}

    int Run(usb::DeviceSource& source);

    pda::PdaRunContext& ContextFor(const std::string& path) override {
        return HandsetFor(path).context;
    }
    pda::PdaEventSink& SinkFor(const std::string& path) override { return *HandsetFor(path).out; }
    void MessageBox(std::string_view text) override { board_.Note(std::string(text)); }
    // A handset downloads as soon as it has connected.
    void Connected(const std::string& path) override {
        if (!hotplug::OperationDownload(watcher_, ContextFor(path), SinkFor(path), &path))
            Finish(path, Verdict::Failed, "the download could not be started");
    }

private:
    struct Handset {
        explicit Handset(std::chrono::seconds timeout) : watchdog(timeout) {}
        pda::PdaRunContext context;
        std::unique_ptr<CliPdaEvents> out;
        station::ProgressWatchdog watchdog;
        bool finished = false;
        bool timedOut = false; // stopped for going silent
        // The run's record; a handset back on the same port begins another.
        std::unique_ptr<records::RecordingReceiver> record;
        bool inputsGiven = false;
    };

    Handset& HandsetFor(const std::string& path);
    void Plugged(std::unique_ptr<usb::UsbTransport> transport);
    void NotServed(const std::string& path);
    void Finish(const std::string& path, Verdict verdict, const std::string& reason,
                bool told = false);
    void BeginRecord(Handset& handset, const usb::UsbTransport& transport);
    void GiveInputs(Handset& handset, bool wait);
    int Recorded(int jobCode);
    void StopSilentRuns();
    bool AllRunsOver() const;
    std::optional<Clock::time_point> NextDeadline(Clock::time_point waitEnd) const;
    int ExitCode(const StopSignal& stop, bool waitedInVain) const;
    void PrintTrace(const std::string& path);
    void ReportProblem(const std::string& text);
    void Release();

    const PdaOptions& options_;
    station::EventLoop loop_;
    ProgressBoard board_;
    std::mutex stdoutLock_;
    std::map<std::string, std::unique_ptr<Handset>> handsets_;
    std::vector<std::string> order_;
    std::vector<std::shared_future<Status>> recordsFinished_;
    // Runs begun, passed and stopped for going silent; a handset that comes
    // back on the same port is a run of its own.
    int accepted_ = 0;
    int passed_ = 0;
    int timedOut_ = 0;
    int tracesPrinted_ = 0;
    // Raised with a stop signal: ends a device's open at once.
    usb::StopRequest stop_;
    // The watchdog of the handset being opened, whose --timeout bounds it.
    const station::ProgressWatchdog* opening_ = nullptr;
    hotplug::CDeviceWatcher watcher_;
};

PdaSession::Handset& PdaSession::HandsetFor(const std::string& path) {
    std::unique_ptr<Handset>& handset = handsets_[path];
    if (handset)
        return *handset;
    handset = std::make_unique<Handset>(options_.timeout);
    handset->context.SetSettings(
        {.downloadPath = options_.file, .target = options_.target, .phoneOption = options_.phone});
    handset->context.SetCheckedPlan(options_.plan);
    PdaCliOutput output = options_.output;
    output.streamTrace = options_.devices == 1;
    Handset* const self = handset.get();
    handset->out = std::make_unique<CliPdaEvents>(
        path, output, board_, stdoutLock_, [this, self, path](const pda::PdaEvent& event) {
            if (self->record)
                self->record->Post(event);
            if (const auto* finished = std::get_if<RunFinished>(&event)) {
                loop_.Post([this, path, verdict = finished->verdict, reason = finished->reason] {
                    Finish(path, verdict, reason, true);
                });
            } else if (const auto* entered = std::get_if<pda::StateEntered>(&event)) {
                self->watchdog.Progress(pda::StateName(entered->state));
            } else if (IsRunProgress(event)) {
                self->watchdog.Progress("");
            }
        });
    order_.push_back(path);
    return *handset;
}

void PdaSession::Plugged(std::unique_ptr<usb::UsbTransport> transport) {
    const std::string path = transport->DevicePath();
    if (options_.devices != 0 && accepted_ >= options_.devices)
        return NotServed(path);
    ++accepted_;
    Handset& handset = HandsetFor(path);
    handset.finished = false;
    handset.timedOut = false;
    BeginRecord(handset, *transport);
    handset.watchdog.Arm("the start");
    opening_ = &handset.watchdog;
    watcher_.OnDeviceArrival(std::move(transport));
    opening_ = nullptr;
    if (watcher_.FindPipe(path) != nullptr)
        return;
    if (stop_.IsRaised()) {
        Finish(path, Verdict::Stopped, "stopped before the device opened");
    } else if (handset.watchdog.Expired()) {
        ++timedOut_;
        handset.timedOut = true;
        Finish(path, Verdict::Failed, handset.watchdog.Reason());
    } else {
        Finish(path, Verdict::Failed, "the device could not be opened");
    }
}

// More handsets than asked for are left alone, but not silently.
void PdaSession::NotServed(const std::string& path) {
    const std::string reason = "--devices " + std::to_string(options_.devices) + " were served";
    board_.Note("marlow-cli pda: a further handset arrived at " + path + " and was not served (" +
                reason + ")");
    if (!options_.output.json)
        return;
    std::lock_guard lock(stdoutLock_);
    OutJsonLine(NotServedJson(path, reason));
}

void PdaSession::BeginRecord(Handset& handset, const usb::UsbTransport& transport) {
    const std::string port = transport.PortPath();
    std::unique_ptr<records::RunRecorder> run = options_.recording->Begin(
        {.slot = port.empty() ? transport.DevicePath() : port,
         .kind = "pda",
         .handset = {.usbPath = port.empty() ? transport.DevicePath() : port}});
    handset.record = run ? std::make_unique<records::RecordingReceiver>(std::move(run)) : nullptr;
    handset.inputsGiven = false;
    GiveInputs(handset, false);
}

// The run's files go into its record as soon as they are known, at the
// latest as it ends.
void PdaSession::GiveInputs(Handset& handset, bool wait) {
    if (!handset.record || handset.inputsGiven ||
        (!wait && options_.inputs.wait_for(std::chrono::seconds(0)) != std::future_status::ready))
        return;
    handset.record->Inputs(options_.inputs.get());
    handset.inputsGiven = true;
}

void PdaSession::Finish(const std::string& path, Verdict verdict, const std::string& reason,
                        bool told) {
    Handset& handset = HandsetFor(path);
    if (handset.finished)
        return;
    handset.finished = true;
    if (handset.record) {
        GiveInputs(handset, true);
        // A run that never opened told no end of its own, and one stopped
        // for going silent ended by a time-out, though the engine saw a
        // stop: the command's own end is the record's then.
        std::optional<records::RunEnding> given;
        if (!told || handset.timedOut)
            given = records::RunEnding{.verdict = records::RecordVerdictOf(verdict),
                                       .reason = reason,
                                       .errorClass = handset.timedOut ? records::ErrorClass::TimeOut
                                                     : verdict == Verdict::Stopped
                                                         ? records::ErrorClass::OperatorStop
                                                         : records::ErrorClass::Device,
                                       .half = records::Half::Pda};
        recordsFinished_.push_back(handset.record->Finish(given));
        handset.record.reset();
    }
    passed_ += verdict == Verdict::Passed ? 1 : 0;
    handset.watchdog.Disarm();
    if (verdict != Verdict::Passed && !reason.empty())
        board_.Note(path + ": " + reason);
    if (options_.devices != 1)
        PrintTrace(path);
}

// A device the bus refused or cut off, or a listener short of descriptors.
void PdaSession::ReportProblem(const std::string& text) {
    board_.Note(text);
    if (!options_.output.json)
        return;
    std::lock_guard lock(stdoutLock_);
    OutJsonLine(ProblemJson(text));
}

// A run that went silent is stopped the way Ctrl-C stops it: its handset
// is told to leave, and its verdict names the step it hung in.
void PdaSession::StopSilentRuns() {
    for (const std::string& path : order_) {
        Handset& handset = *handsets_[path];
        if (handset.finished || !handset.watchdog.Expired())
            continue;
        ++timedOut_;
        handset.timedOut = true;
        board_.Note("marlow-cli pda: " + path + ": " + handset.watchdog.Reason() + "; stopped");
        handset.watchdog.Disarm();
        watcher_.UnloadUsbDrv(false, true, &path, usb::StopCause::TimedOut);
    }
}

bool PdaSession::AllRunsOver() const {
    for (const auto& [path, handset] : handsets_)
        if (!handset->finished)
            return false;
    return true;
}

std::optional<Clock::time_point> PdaSession::NextDeadline(Clock::time_point waitEnd) const {
    std::optional<Clock::time_point> next;
    if (options_.devices != 0)
        next = waitEnd;
    for (const auto& [path, handset] : handsets_)
        next = station::Earlier(next, handset->watchdog.Deadline());
    return next;
}

int PdaSession::Run(usb::DeviceSource& source) {
    const StopSignal stop([this] {
        stop_.Raise();
        loop_.Post([] {});
    });
    const usb::DeviceEvents handlers{
        .arrived =
            [this](std::unique_ptr<usb::UsbTransport> transport) { Plugged(std::move(transport)); },
        .removed = [this](const std::string& path) { watcher_.OnDeviceRemoveComplete(path); },
        .problem = [this](const std::string& text) { ReportProblem(text); },
        .alreadyAttached = {}};
    if (const Status started = source.Start(station::PostedTo(loop_, handlers)); !started) {
        Err("marlow-cli pda: " + started.Error() + "\n");
        return kExitFailed;
    }
    const Clock::time_point waitEnd = Clock::now() + options_.wait;
    bool waitedInVain = false;
    while (!stop.Raised()) {
        loop_.RunOnce(NextDeadline(waitEnd));
        StopSilentRuns();
        if (!AllRunsOver() || options_.devices == 0)
            continue;
        if (accepted_ == options_.devices)
            break;
        if (Clock::now() >= waitEnd) {
            waitedInVain = true;
            break;
        }
    }
    Release();
    source.Stop();
    board_.Close();
    return Recorded(ExitCode(stop, waitedInVain));
}

// Every run's record is on the disk, or said not to be, before the command
// ends.
int PdaSession::Recorded(int jobCode) {
    for (auto& [path, handset] : handsets_)
        if (handset->record) {
            GiveInputs(*handset, true);
            recordsFinished_.push_back(handset->record->Finish(
                records::RunEnding{.verdict = records::RecordVerdict::Stopped,
                                   .reason = "the command ended before the run did",
                                   .errorClass = records::ErrorClass::OperatorStop,
                                   .half = records::Half::Pda}));
        }
    for (const std::shared_future<Status>& finish : recordsFinished_)
        jobCode = options_.recording->Finished(finish, jobCode, options_.output.json);
    return jobCode;
}

// A signal ends a fixed number of handsets like the operator's stop. With
// --devices 0 it is the normal end of serving, and the code then says
// whether every handset served passed (a download the signal cut short did
// not).
int PdaSession::ExitCode(const StopSignal& stop, bool waitedInVain) const {
    if (stop.Raised() && options_.devices != 0) {
        Err("marlow-cli pda: stopped\n");
        return stop.ExitCode();
    }
    if (timedOut_ > 0)
        return kExitTimedOut;
    if (options_.devices == 0) {
        Err("marlow-cli pda: served " + std::to_string(accepted_) + " handset(s), " +
            std::to_string(passed_) + " passed\n");
        return accepted_ > 0 && passed_ == accepted_ ? kExitOk : kExitFailed;
    }
    if (waitedInVain)
        Err("marlow-cli pda: " + std::to_string(accepted_) + " of " +
            std::to_string(options_.devices) + " handsets arrived within " +
            std::to_string(options_.wait.count()) + " s\n");
    return passed_ == options_.devices ? kExitOk : kExitFailed;
}

// One handset's trace streams as it is written; several handsets' traces
// follow each other as their runs end, each under its name.
void PdaSession::PrintTrace(const std::string& path) {
    const auto found = handsets_.find(path);
    if (found == handsets_.end())
        return;
    if (options_.output.trace && options_.devices != 1) {
        std::lock_guard lock(stdoutLock_);
        Out((tracesPrinted_++ == 0 ? "--- " : "\n--- ") + path + " ---\n");
    }
    found->second->out->FlushTrace();
}

// Stops what still runs, tells each listed boot loader to leave and waits a
// little for it to go, as the main window does when it closes.
void PdaSession::Release() {
    watcher_.OnClose();
    const Clock::time_point until = Clock::now() + std::chrono::seconds(2);
    while (watcher_.DeviceCount() > 0 && Clock::now() < until)
        loop_.RunOnce(until);
    loop_.RunOnce(Clock::now()); // the stopped runs' verdicts
}

bool ParseOptions(const QStringList& args, PdaOptions& options, int* exitCode) {
    QCommandLineParser parser;
    parser.setApplicationDescription(
        "Waits for PDA boot loaders and downloads a boot image (.bin) or a list (.lst) to "
        "each, as the main window does. The file is checked whole before a handset is "
        "touched. stdout: --trace and --json output only; progress and messages go to "
        "stderr. Exit code 0 only when every handset passed; 4 when a run showed no "
        "progress for --timeout seconds; 128 + the signal when stopped (Ctrl-C 130, "
        "SIGTERM 143, SIGHUP 129; a closed stdout 141).");
    const QCommandLineOption file("file", "Boot image or list to download.", "FILE");
    const QCommandLineOption target = TargetOption(pda::DownloadTarget::Ram);
    const QCommandLineOption phone("phone", "A phone download follows: end with PHONE_DOWN_CMD.");
    const HandsetSourceOptions handsets(HandsetCount::Several, 30);
    const QCommandLineOption timeout = TimeoutOption();
    const QCommandLineOption noCheck(
        "no-check", "Do not read the images whole first (the historic sequence: a bad record "
                    "is found when the download reaches it).");
    const OutputOptions output("Print the Device State Window text.");
    const QCommandLineOption devices(
        "devices",
        "Serve N handsets at once (default 1); 0 serves every handset until stopped, and the "
        "exit code then says whether every handset served passed.",
        "N", "1");
    const QCommandLineOption runStore = RunStoreOption();
    parser.addOptions({file, target, phone});
    parser.addOptions(handsets.All());
    parser.addOptions({timeout, noCheck});
    parser.addOptions(output.All());
    parser.addOptions({devices, runStore});
    if (!ParseArguments(parser, args, exitCode))
        return false;

    *exitCode = kExitUsage;
    const OptionReader read(parser, args.value(0).toStdString());
    const auto download = read.PdaDownload(file, target, pda::DownloadTarget::Ram, handsets);
    if (!download)
        return false;
    // Both numbers of seconds are checked, so one run names both mistakes.
    const auto waitSeconds = read.Seconds(handsets.wait);
    const auto timeoutSeconds = read.Seconds(timeout);
    if (!waitSeconds || !timeoutSeconds)
        return false;
    const auto deviceCount = read.Count(devices, 1, RangeWords::Shown);
    if (!deviceCount)
        return false;
    const OutputChoice shown = *read.Output(output, OutputMix::Both);
    options.file = download->file;
    options.target = download->target;
    options.bus = download->handsets.bus;
    options.busGroup = download->handsets.busGroup;
    options.wait = *waitSeconds;
    options.timeout = *timeoutSeconds;
    options.devices = *deviceCount;
    options.phone = parser.isSet(phone);
    options.check = !parser.isSet(noCheck);
    options.output.trace = shown.trace;
    options.output.json = shown.json;
    options.recording = CommandRecording::Open(read, runStore, "marlow-cli pda", exitCode);
    return options.recording.has_value();
}

int RunPda(const QStringList& args) {
    PdaOptions options;
    int exitCode = kExitOk;
    if (!ParseOptions(args, options, &exitCode))
        return exitCode;
    if (const Result<InputFile> file = InputFile::Open(options.file); !file) {
        Err("marlow-cli pda: cannot open " + options.file + " (" + file.Error() + ")\n");
        return kExitBadInput;
    }
    Result<pda::DownloadPlan> plan =
        pda::CheckDownloadPlan(options.file, {.wholeFiles = options.check});
    if (!plan) {
        Err("marlow-cli pda: " + plan.Error() + "\n");
        return kExitBadInput;
    }
    if (options.recording->On())
        options.inputs = std::async(std::launch::async, records::InputsOfPlan, options.file, *plan);
    options.plan = std::move(plan).Value();
    Result<std::unique_ptr<usb::DeviceSource>> source =
        MakePdaDeviceSource(options.bus, options.busGroup);
    if (!source) {
        Err("marlow-cli pda: " + source.Error() + "\n");
        return kExitUsage;
    }
    PdaSession session(options);
    return session.Run(**source);
}

CommandRegistrar reg({"pda", "download a boot image or list to PDA boot loaders", RunPda});

} // namespace
} // namespace marlow::cli
