// marlow-cli uart: one "Connect" of the UART flash loader, headless.
//
// stdout carries the loader's log exactly as the dialog shows it (CR LF
// kept), or with --json one event per line, the run's RunFinished among
// them, and last the result; progress, the current file, message boxes and
// diagnostics go to stderr. The run's events drive the command: it ends
// when the run has told its end. Exit 0 only when the handset ended the run
// with its done message and a --log was saved whole (1 otherwise). Ctrl-C,
// SIGTERM, SIGHUP and a closed stdout disconnect like the operator's
// "Disconnect" (exit 128 + the signal, 141 for the closed stdout), and so
// does a run that shows no progress for --timeout seconds (exit 4). Text
// the handset sends is escaped as every printed text is.

#include "cli/arguments.h"
#include "cli/command_registry.h"
#include "cli/output.h"
#include "cli/run_recording.h"
#include "cli/shared_options.h"
#include "cli/stop_signal.h"
#include "records/recording_receiver.h"
#include "records/run_inputs.h"
#include "records/run_writer.h"
#include "station/event_loop.h"
#include "station/run_watchdog.h"
#include "uartloader/loader_event_json.h"
#include "uartloader/loader_session.h"
#include "uartloader/log_file.h"

#include <QCommandLineParser>
#include <array>
#include <functional>
#include <memory>
#include <optional>
#include <variant>

namespace marlow::cli {
namespace {

using namespace marlow::uartloader;

constexpr std::array<const char*, kProgressBarCount> kBarNames = {
    "2nd Boot", "Ext Mem Init", "Boot Flasher", "XLoader",       "Ext Mem Init (flash)",
    "ADL",      "Production",   "Normal",       "Total Download"};

// Shows each event where the command's output rules put it. Progress is
// thinned to whole tens per bar: a second-stage image sets its bar once per
// byte.
class CliLoaderSink final : public LoaderSink {
public:
    using Finished = std::function<void(const RunFinished&)>;

    // `finished` hears the run's end, on the thread that posts it.
    CliLoaderSink(bool json, station::ProgressWatchdog& watchdog, Finished finished)
        : json_(json), watchdog_(watchdog), finished_(std::move(finished)) {
        lastTen_.fill(-1);
    }

    // The run's record hears every event before it is shown.
    void RecordInto(LoaderSink* record) { record_ = record; }

    void Post(const LoaderEvent& event) override {
        if (record_ != nullptr)
            record_->Post(event);
        watchdog_.Progress(StepOf(event));
        if (const auto* end = std::get_if<RunFinished>(&event)) {
            if (json_)
                OutJsonLine(EventToJson(event));
            finished_(*end);
            return;
        }
        if (const auto* p = std::get_if<ProgressChanged>(&event)) {
            ShowProgress(*p);
            return;
        }
        if (json_)
            OutJsonLine(EventToJson(event));
        else if (const auto* log = std::get_if<LogAppended>(&event))
            OutNow(log->text);
        if (const auto* label = std::get_if<CurrentFileChanged>(&event))
            Err("Current Download File : " + label->text + "\n");
        else if (const auto* box = std::get_if<MessageBoxShown>(&event))
            Err("message box: " + box->text + "\n");
        else if (const auto* note = std::get_if<Diagnostic>(&event))
            Err("marlow-cli uart: " + note->text + "\n");
    }

private:
    // What the run is doing, as far as an event tells: the file it sends.
    static std::string StepOf(const LoaderEvent& event) {
        if (const auto* label = std::get_if<CurrentFileChanged>(&event))
            return label->text.empty() ? std::string() : "sending " + label->text;
        if (const auto* p = std::get_if<ProgressChanged>(&event);
            p != nullptr && p->bar >= 0 && p->bar < kProgressBarCount)
            return kBarNames[static_cast<std::size_t>(p->bar)];
        return {};
    }

    void ShowProgress(const ProgressChanged& p) {
        if (p.bar < 0 || p.bar >= kProgressBarCount)
            return;
        const int ten = p.percent / 10;
        if (ten == lastTen_[static_cast<std::size_t>(p.bar)])
            return;
        lastTen_[static_cast<std::size_t>(p.bar)] = ten;
        if (json_)
            OutJsonLine(EventToJson(p));
        Err(std::string("progress ") + kBarNames[static_cast<std::size_t>(p.bar)] + ": " +
            std::to_string(p.percent) + "%\n");
    }

    bool json_;
    station::ProgressWatchdog& watchdog_;
    Finished finished_;
    LoaderSink* record_ = nullptr;
    std::array<int, kProgressBarCount> lastTen_{};
};

struct UartOptions {
    std::string port;
    std::string settings;
    std::string stm;
    std::string log;
    bool totalWrite = true; // the mode the dialog opens in
    bool json = false;
    std::chrono::seconds timeout{120};
    std::optional<CommandRecording> recording;
};

bool ReadOptions(const QStringList& args, UartOptions& options, int* exitCode) {
    QCommandLineParser parser;
    parser.setApplicationDescription(
        "Boots the handset from its boot ROM over a serial port and serves its flash requests, "
        "as the UART loader dialog's \"Connect\" does.");
    parser.addOptions({
        {"port", "Serial port: COM1..COM9 (/dev/ttyS0..8), a device name or a path.", "PORT"},
        {"settings", "Loader settings (.mfl) with the files and addresses.", "FILE"},
        {"total-write", "Take the files from an STM list (the default mode)."},
        {"stm", "The STM list for Total Write mode.", "LIST"},
        {"separate-write", "Take the files from the settings' file fields."},
        {"log", "Also save the log as \"Save Log\" does.", "FILE"},
        {"json", "Print every event as a JSON line instead of the log."},
    });
    const QCommandLineOption timeout = TimeoutOption();
    parser.addOption(timeout);
    const QCommandLineOption runStore = RunStoreOption();
    parser.addOption(runStore);
    if (!ParseArguments(parser, args, exitCode))
        return false;
    if (parser.isSet("separate-write") && (parser.isSet("total-write") || parser.isSet("stm"))) {
        Err(args.value(0).toStdString() +
            ": choose --total-write [--stm LIST] or --separate-write\n(see --help)\n");
        *exitCode = kExitUsage;
        return false;
    }
    options.port = ArgumentBytes(parser.value("port"));
    options.settings = ArgumentBytes(parser.value("settings"));
    options.stm = ArgumentBytes(parser.value("stm"));
    options.log = ArgumentBytes(parser.value("log"));
    options.totalWrite = !parser.isSet("separate-write");
    options.json = parser.isSet("json");
    const OptionReader reader(parser, args.value(0).toStdString());
    const auto timeoutSeconds = reader.Seconds(timeout);
    *exitCode = kExitUsage;
    if (!timeoutSeconds)
        return false;
    options.timeout = *timeoutSeconds;
    options.recording = CommandRecording::Open(reader, runStore, "marlow-cli uart", exitCode);
    return options.recording.has_value();
}

// The result line's names, which scripts read since before the run told
// its verdict.
const char* OutcomeName(Verdict verdict) {
    switch (verdict) {
    case Verdict::Passed:
        return "done";
    case Verdict::Stopped:
        return "stopped";
    default:
        return "failed";
    }
}

int RunUart(const QStringList& args) {
    UartOptions options;
    int exitCode = kExitOk;
    if (!ReadOptions(args, options, &exitCode))
        return exitCode;
    // Found out now, not after the handset has been flashed.
    if (const Status saveable = options.log.empty() ? Status{} : LogFileCanBeSaved(options.log);
        !saveable) {
        Err("marlow-cli uart: cannot save the log as " + options.log + ": " + saveable.Error() +
            "\nChoose a --log path in a folder you may write to; nothing was sent.\n");
        return kExitBadInput;
    }

    station::ProgressWatchdog watchdog(options.timeout);
    station::EventLoop loop;
    std::optional<RunFinished> finished;
    CliLoaderSink sink(options.json, watchdog, [&loop, &finished](const RunFinished& end) {
        loop.Post([&finished, end] { finished = end; });
    });
    UartLoaderSession session(sink);
    if (!options.settings.empty() && !session.LoadSettings(options.settings))
        return kExitBadInput;
    if (!options.port.empty())
        session.Settings().port = options.port;
    session.SetTotalWriteMode(options.totalWrite);
    if (options.totalWrite) {
        if (options.stm.empty())
            Err("marlow-cli uart: no --stm list given; Total Write mode has no files to send\n");
        else
            session.ReadStmList(options.stm);
    }

    std::unique_ptr<records::RecordingReceiver> record;
    if (auto recorder =
            options.recording->Begin({.slot = session.Settings().port, .kind = "uart"})) {
        record = std::make_unique<records::RecordingReceiver>(std::move(recorder));
        record->Inputs(records::InputsOfLoaderRun(session));
        sink.RecordInto(record.get());
    }
    // The record's end waited for, bounded, before the command ends.
    // A silence the watchdog ended is the run's time-out, not an operator's
    // stop, though the loader saw only the disconnect.
    std::optional<records::RunEnding> timeOutEnding;
    const auto recorded = [&](int jobCode) {
        return record ? options.recording->Finished(record->Finish(timeOutEnding), jobCode,
                                                    options.json)
                      : jobCode;
    };

    const StopSignal stop([&loop] { loop.Post([] {}); });
    watchdog.Arm("connecting");
    if (!session.Connect()) {
        session.WaitForRunEnd();
        return recorded(kExitFailed);
    }
    // A signal or a silence of --timeout seconds disconnects the run, which
    // then ends as its port closes.
    bool timedOut = false;
    bool disconnected = false;
    while (!finished) {
        loop.RunOnce(watchdog.Deadline());
        if (!disconnected && (stop.Raised() || watchdog.Expired())) {
            disconnected = true;
            timedOut = !stop.Raised();
            if (timedOut) {
                Err("marlow-cli uart: " + watchdog.Reason() + "; disconnecting\n");
                timeOutEnding = records::RunEnding{.verdict = records::RecordVerdict::Failed,
                                                   .reason = watchdog.Reason(),
                                                   .errorClass = records::ErrorClass::TimeOut,
                                                   .half = records::Half::Uart};
            }
            watchdog.Disarm();
            session.Disconnect();
        }
    }

    const bool logSaved = options.log.empty() || session.SaveLog(options.log);
    if (options.json)
        Out(std::string("{\"event\":\"result\",\"outcome\":\"") + OutcomeName(finished->verdict) +
            "\"}\n");
    if (stop.Raised())
        return recorded(stop.ExitCode());
    if (timedOut)
        return recorded(kExitTimedOut);
    return recorded(finished->verdict == Verdict::Passed && logSaved ? kExitOk : kExitFailed);
}

CommandRegistrar reg({"uart", "flash through the handset's UART boot ROM (the UART loader)",
                      RunUart});

} // namespace
} // namespace marlow::cli
