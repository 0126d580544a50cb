// marlow-cli phone: the main window's phone download from a package, through
// the modem download library, with its texts on stdout. The run is recorded
// in the run store, its slot the modem's port where one was named.

#include "cli/arguments.h"
#include "cli/command_registry.h"
#include "cli/modem_setup.h"
#include "cli/output.h"
#include "cli/phone_run_printer.h"
#include "cli/run_recording.h"
#include "cli/shared_options.h"
#include "cli/stop_signal.h"
#include "phone/phone_engine.h"
#include "phone/phone_package.h"
#include "records/handset_recording.h"
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

struct PhoneOptions {
    QString package;
    QString library;
    QString port;
    QString pattern;
    std::chrono::seconds timeout{120};
    PhoneCliOutput output;
    std::optional<CommandRecording> recording;
};

// The run's events reach its record before they are shown.
class RecordedPhoneEvents final : public phone::PhoneEventSink {
public:
    RecordedPhoneEvents(records::RecordingReceiver* record, phone::PhoneEventSink& shown)
        : record_(record), shown_(shown) {}
    void Post(const phone::PhoneRunEvent& event) override {
        if (record_ != nullptr && std::holds_alternative<phone::PortWaitEnded>(event) && portTaken)
            portTaken();
        if (record_ != nullptr)
            record_->Post(event);
        shown_.Post(event);
    }
    // The run has taken its modem's port (the engine knows which).
    std::function<void()> portTaken;

private:
    records::RecordingReceiver* record_;
    phone::PhoneEventSink& shown_;
};

bool ParseOptions(const QStringList& args, PhoneOptions& options, int* exitCode) {
    QCommandLineParser parser;
    parser.setApplicationDescription(
        "Downloads a phone package (.brx) to the modem as the main window does: waits for "
        "the modem's port, boots it and sends the PSI loader, the second-stage loader, the "
        "firmware and the EEPROM image through the download library. stdout: --trace or "
        "--json output only; progress and messages go to stderr. Exit code 0 only when the "
        "phone was downloaded, 3 when a phone file is missing or unreadable (checked before "
        "the modem is booted), 4 when the run showed no progress for --timeout seconds. "
        "Ctrl-C, SIGTERM and SIGHUP stop the run and release the port (exit 128 + the "
        "signal: 130, 143, 129; a closed stdout stops it too, 141).");
    const QCommandLineOption package("package", "The phone package to download.", "FILE.brx");
    const ModemPortOptions modem("Open this port instead of looking for the modem.",
                                 "How a found port number becomes its name (\"%i\" for "
                                 "the number; by default a port opens as the system names "
                                 "it).");
    const OutputOptions output("Print the Device State Window text.");
    const QCommandLineOption timeout = TimeoutOption();
    const QCommandLineOption runStore = RunStoreOption();
    parser.addOption(package);
    parser.addOptions(modem.All());
    parser.addOptions(output.All());
    parser.addOptions({timeout, runStore});
    if (!ParseArguments(parser, args, exitCode))
        return false;

    *exitCode = kExitUsage;
    const OptionReader read(parser, args.value(0).toStdString());
    if (!read.Required(package))
        return false;
    if (!read.ModemRun(modem, output, options))
        return false;
    const auto timeoutSeconds = read.Seconds(timeout);
    if (!timeoutSeconds)
        return false;
    options.package = parser.value(package);
    options.timeout = *timeoutSeconds;
    options.recording = CommandRecording::Open(read, runStore, "marlow-cli phone", exitCode);
    return options.recording.has_value();
}

// The port was found but would not open: the main window would wait for its
// operator's cancel; a command has nobody to wait for.
bool StuckAfterFailedOpen(const phone::PhoneEngine& engine, const station::EventLoop& loop) {
    return engine.Inst().state == phone::stIdle && !loop.TimerRunning(phone::PhoneTimer::PortPoll);
}

int RunPhone(const QStringList& args) {
    PhoneOptions options;
    int exitCode = kExitOk;
    if (!ParseOptions(args, options, &exitCode))
        return exitCode;
    const std::string name = args.value(0).toStdString();
    if (!PackageFilesReady(name, ArgumentBytes(options.package)))
        return kExitBadInput;

    const std::unique_ptr<phone::VendorLibrary> library = LoadPhoneLibrary(name, options.library);
    if (!library)
        return kExitFailed;
    PhoneCliPorts ports = MakePhonePorts(options.port, options.pattern, phone::kMainWindowPortList);
    station::EventLoop loop;
    station::ProgressWatchdog watchdog(options.timeout);
    const phone::PhoneEngine* running = nullptr;
    const auto part = [&running] {
        return PhonePartName(running != nullptr ? running->Inst().state : phone::stIdle);
    };
    CliPhoneEvents out(options.output, part, [&] { watchdog.Progress(); });
    std::unique_ptr<records::RecordingReceiver> record;
    if (auto run =
            options.recording->Begin({.slot = ArgumentBytes(options.port),
                                      .kind = "phone",
                                      .handset = {.modemPort = ArgumentBytes(options.port)}})) {
        record = std::make_unique<records::RecordingReceiver>(std::move(run));
        phone::PhoneFileSet files;
        const std::string packagePath = ArgumentBytes(options.package);
        if (phone::LoadPhonePackage(packagePath, files).Succeeded())
            record->Inputs(records::InputsOfPhoneFiles(files, packagePath));
        else
            record->Inputs({records::InputOf("package", packagePath)});
    }
    RecordedPhoneEvents events(record.get(), out);
    // The record's end waited for, bounded, before the command ends; an end
    // the command itself made is given, the engine having told none.
    const auto recorded = [&](int jobCode, std::optional<records::RunEnding> given = {}) {
        return record ? options.recording->Finished(record->Finish(std::move(given)), jobCode,
                                                    options.output.json)
                      : jobCode;
    };

    phone::PhoneEngineSetup setup;
    setup.owner = phone::PhoneOwner::MainWindow;
    setup.library = library.get();
    setup.events = &events;
    setup.clock = &loop;
    setup.ownerThread = &loop;
    setup.ports = ports.locator.get();
    phone::PhoneEngine engine(std::move(setup));
    running = &engine;
    // A port the search found is the handset's, and where it sits on a
    // known USB port that port is the slot.
    if (record && options.port.isEmpty())
        events.portTaken = [&record, &engine] {
            const phone::ModemPort& port = engine.Port();
            record->Recorder().Slot(port.usbPortPath.empty() ? port.path : port.usbPortPath);
            record->Handset(records::WithModemPort({}, port));
        };
    loop.SetTickHandler([&engine](phone::PhoneTimer timer) { engine.OnTimer(timer); });

    const StopSignal stop([&loop] { loop.Post([] {}); });
    if (!engine.StartMainWindowRun(ArgumentBytes(options.package), phone::PhoneStart::Command)) {
        out.Close();
        Err(name + ": cannot read the phone package " + ArgumentBytes(options.package) + "\n");
        return recorded(kExitBadInput);
    }
    watchdog.Arm({});
    while (!out.Ended()) {
        loop.RunOnce(watchdog.Deadline());
        // The operator's cancel, for a signal and for a run gone silent alike.
        if (stop.Raised() || watchdog.Expired()) {
            const bool timedOut = !stop.Raised();
            const std::string why = timedOut ? watchdog.Reason(part()) : "stopped";
            const std::string reason = why + "; the modem port is released";
            engine.CancelMainWindowRun(timedOut ? Verdict::Failed : Verdict::Stopped, reason);
            out.EndedByCommand(reason);
            return recorded(
                timedOut ? kExitTimedOut : stop.ExitCode(),
                records::RunEnding{.verdict = timedOut ? records::RecordVerdict::Failed
                                                       : records::RecordVerdict::Stopped,
                                   .reason = reason,
                                   .errorClass = timedOut ? records::ErrorClass::TimeOut
                                                          : records::ErrorClass::OperatorStop,
                                   .half = records::Half::Phone});
        }
        if (!out.Ended() && StuckAfterFailedOpen(engine, loop)) {
            const std::string reason =
                "the modem port " + engine.Port().path + " could not be opened";
            engine.CancelMainWindowRun(Verdict::Failed, reason);
            out.Close();
            Err(name + ": " + reason + "\n");
            return recorded(kExitFailed,
                            records::RunEnding{.verdict = records::RecordVerdict::Failed,
                                               .reason = reason,
                                               .errorClass = records::ErrorClass::Link,
                                               .half = records::Half::Phone});
        }
    }
    out.Close();
    // Every failure's reason reaches stderr, whatever stdout carries.
    switch (*out.Ended()) {
    case phone::PhoneRunEnd::Succeeded:
        return recorded(kExitOk);
    case phone::PhoneRunEnd::PortNotFound:
        Err(name + ": no modem port appeared; connect the phone and try again\n");
        break;
    case phone::PhoneRunEnd::Failed:
        Err(name + ": " + out.Reason() + "\n");
        break;
    }
    return recorded(kExitFailed);
}

CommandRegistrar reg({"phone", "download a phone package to the modem", RunPhone});

} // namespace
} // namespace marlow::cli
