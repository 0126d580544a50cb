// marlow-cli station: serves the slots of a station file until stopped. Each
// handset plugged into a slot's port runs that slot's run (the Total run or
// a PDA download, as the slot's file says), is recorded, and the slot takes
// the next handset once this one has left.

#include "cli/arguments.h"
#include "cli/command_registry.h"
#include "cli/device_sources.h"
#include "cli/modem_setup.h"
#include "cli/output.h"
#include "cli/run_recording.h"
#include "cli/shared_options.h"
#include "cli/slot_board.h"
#include "cli/stop_signal.h"
#include "phone/usb_tty_paths.h"
#include "records/forwarder.h"
#include "station/event_loop.h"
#include "station/station_run.h"
#include "status/status_publisher.h"

#include <QCommandLineParser>
#include <QJsonArray>

#include <cstdio>
#include <map>

namespace marlow::cli {
namespace {

using station::SlotEvent;
using station::SlotEventKind;
using station::SlotShift;

constexpr const char* kCommand = "station";
constexpr std::chrono::seconds kForwardingGrace{5};

const char* EventName(SlotEventKind kind) {
    switch (kind) {
    case SlotEventKind::NotServed:
        return "not-served";
    case SlotEventKind::Started:
        return "started";
    case SlotEventKind::Progress:
        return "progress";
    case SlotEventKind::Finished:
        return "finished";
    case SlotEventKind::Ready:
        return "ready";
    }
    return "";
}

QJsonObject JsonOfEvent(const SlotEvent& event) {
    QJsonObject object{{"event", EventName(event.kind)},
                       {"slot", QString::fromStdString(event.slot)},
                       {"port", QString::fromStdString(event.port)}};
    switch (event.kind) {
    case SlotEventKind::NotServed:
        object["why"] = QString::fromStdString(event.text);
        break;
    case SlotEventKind::Progress:
        object["file"] = QString::fromStdString(event.file);
        object["percent"] = event.percent;
        break;
    case SlotEventKind::Finished:
        object["verdict"] = VerdictName(event.finished.verdict);
        object["reason"] = QString::fromStdString(event.finished.reason);
        object["elapsedMs"] = static_cast<qint64>(event.elapsed.count());
        break;
    case SlotEventKind::Started:
    case SlotEventKind::Ready:
        break;
    }
    return object;
}

// "slot 3: passed in 41.2 s", "slot 3: failed: the handset refused ...".
std::string LineOfEvent(const SlotEvent& event) {
    const std::string slot = "slot " + event.slot + ": ";
    switch (event.kind) {
    case SlotEventKind::NotServed:
        return "not served: " + event.text + "\n";
    case SlotEventKind::Started:
        return slot + "started on " + event.port + "\n";
    case SlotEventKind::Progress:
        return slot + event.file + " " + std::to_string(event.percent) + "%\n";
    case SlotEventKind::Finished: {
        char seconds[32];
        std::snprintf(seconds, sizeof seconds, "%.1f", event.elapsed.count() / 1000.0);
        return slot + VerdictName(event.finished.verdict) + " in " + seconds + " s" +
               (event.finished.reason.empty() ? "" : ": " + event.finished.reason) + "\n";
    }
    case SlotEventKind::Ready:
        return slot + "ready\n";
    }
    return {};
}

struct StationOptions {
    std::string stationFile = "station.conf";
    HandsetSource handsets;
    bool json = false;
    std::chrono::seconds timeout{120};
    int handsetLimit = 0; // 0: until stopped
    QString library;
};

// The shift, one line per slot and the whole station's.
void PrintSummary(const std::vector<SlotShift>& shift, std::chrono::duration<double> served,
                  bool json) {
    const double hours = std::max(served.count(), 1.0) / 3600.0;
    SlotShift all{.slot = "all"};
    QJsonArray rows;
    std::string text = "slot\tunits\tpassed\tfailed\tyield\tunits/h\n";
    const auto row = [&](const SlotShift& slot) {
        const double yield = slot.units == 0 ? 0.0 : 100.0 * slot.passed / slot.units;
        char figures[96];
        std::snprintf(figures, sizeof figures, "%d\t%d\t%d\t%.1f%%\t%.1f\n", slot.units,
                      slot.passed, slot.failed, yield, slot.units / hours);
        text += slot.slot + "\t" + figures;
        rows.append(QJsonObject{{"slot", QString::fromStdString(slot.slot)},
                                {"units", slot.units},
                                {"passed", slot.passed},
                                {"failed", slot.failed},
                                {"firstPassYield", yield},
                                {"unitsPerHour", slot.units / hours}});
    };
    for (const SlotShift& slot : shift) {
        row(slot);
        all.units += slot.units;
        all.passed += slot.passed;
        all.failed += slot.failed;
    }
    row(all);
    if (json)
        OutJsonLine(QJsonObject{{"event", "summary"}, {"slots", rows}});
    else
        OutNow(text);
}

int RunStation(const QStringList& args) {
    QCommandLineParser parser;
    parser.setApplicationDescription(
        "Serves the slots of a station file (default station.conf) until stopped: a handset "
        "plugged into a slot's port runs that slot's files (the Total run, or the PDA "
        "download alone), is recorded, and the slot takes the next handset once it has left. "
        "A handset on a port no slot names is not served; a slot's phone package that cannot "
        "be read refuses the station at its start (exit 3). stdout: a board of the slots on a "
        "terminal, a line per slot event elsewhere, or --json (one object per event, each "
        "with its \"slot\"); on stop, the shift's summary. Exit code 0 when every run "
        "passed, 1 when one did not; 128 + the signal when stopped (Ctrl-C 130, SIGTERM "
        "143).");
    parser.addPositionalArgument("station.conf", "The station file.", "[station.conf]");
    const HandsetSourceOptions handsets(HandsetCount::Several, 0);
    const QCommandLineOption json("json", "Print one JSON object per slot event.");
    const QCommandLineOption runStore = RunStoreOption();
    const QCommandLineOption broker = StatusBrokerOption();
    const QCommandLineOption central = CentralOption();
    const QCommandLineOption timeout = TimeoutOption();
    const QCommandLineOption library("library", "The download library to load.", "PATH");
    const QCommandLineOption handsetLimit(
        "handsets", "Stop once this many runs have ended (default: serve until stopped).", "N");
    parser.addOptions({handsets.bus, handsets.busGroup, handsets.usb, json, runStore, broker,
                       central, timeout, library, handsetLimit});
    int exitCode = kExitOk;
    if (!ParseArguments(parser, args, &exitCode, {.positionals = 1}))
        return exitCode;
    const OptionReader read(parser, kCommand);
    StationOptions options;
    const std::optional<HandsetSource> source = read.Handsets(handsets);
    const std::optional<std::chrono::seconds> seconds = read.Seconds(timeout);
    const std::optional<int> limit = read.Count(handsetLimit, 0);
    if (!source || !seconds || !limit)
        return kExitUsage;
    options.handsets = *source;
    options.timeout = *seconds;
    options.handsetLimit = *limit;
    options.json = parser.isSet(json);
    options.library = parser.value(library);
    if (!parser.positionalArguments().isEmpty())
        options.stationFile = ArgumentBytes(parser.positionalArguments().first());

    const Result<station::StationFile> stationFile = station::ReadStationFile(options.stationFile);
    if (!stationFile) {
        Err(std::string(kCommand) + ": " + stationFile.Error() + "\n");
        return kExitBadInput;
    }
    std::optional<CommandRecording> recording =
        CommandRecording::Open(read, runStore, kCommand, &exitCode);
    if (!recording)
        return exitCode;
    const std::unique_ptr<phone::VendorLibrary> phoneLibrary =
        LoadPhoneLibrary(kCommand, options.library);
    if (!phoneLibrary)
        return kExitFailed;
    Result<std::unique_ptr<usb::DeviceSource>> devices =
        MakePdaDeviceSource(options.handsets.bus, options.handsets.busGroup);
    if (!devices) {
        Err(std::string(kCommand) + ": " + devices.Error() + "\n");
        return kExitUsage;
    }
    const std::string stationId = recording->Settings().stationId;
    std::unique_ptr<status::StatusPublisher> publisher;
    if (status::BrokerSettings brokerSettings = read.StatusBroker(broker);
        !brokerSettings.address.empty()) {
        Result<std::unique_ptr<status::StatusPublisher>> started =
            status::StatusPublisher::Start({.broker = brokerSettings, .station = stationId});
        if (!started) {
            Err(std::string(kCommand) + ": " + started.Error() + "\n");
            return kExitUsage;
        }
        publisher = std::move(*started);
    }
    // Records go on to the central database behind the runs, never in their way.
    std::unique_ptr<records::Forwarder> forwarder;
    if (records::CentralSettings centralSettings = read.Central(central);
        !centralSettings.dsn.empty() && recording->On())
        forwarder = records::Forwarder::Start(
            {.storePath = recording->Settings().storePath, .central = centralSettings});

    station::EventLoop loop;
    const bool board = !options.json && SlotBoard::StdoutIsTerminal();
    SlotBoard boardView(board);
    std::map<std::string, status::SlotStatus> shown;
    int ended = 0;
    bool anyFailed = false;
    bool done = false;
    const auto show = [&](const SlotEvent& event) {
        if (event.kind == SlotEventKind::Finished && event.finished.verdict != Verdict::Stopped) {
            ++ended;
            anyFailed = anyFailed || event.finished.verdict != Verdict::Passed;
            done = options.handsetLimit > 0 && ended >= options.handsetLimit;
        }
        if (options.json)
            return OutJsonLine(JsonOfEvent(event));
        if (!board || event.kind == SlotEventKind::NotServed)
            return board ? Err(LineOfEvent(event)) : OutNow(LineOfEvent(event));
        status::SlotStatus& slot = shown[event.slot];
        slot.slot = event.slot;
        slot.state = event.kind == SlotEventKind::Ready ? status::SlotState::Waiting
                                                        : status::SlotState::Pda;
        slot.file = event.file;
        slot.percent = event.percent;
        if (event.kind == SlotEventKind::Finished)
            slot.lastVerdict = VerdictName(event.finished.verdict);
        boardView.Slot(stationId, slot);
    };
    const auto started = std::chrono::steady_clock::now();
    Result<std::unique_ptr<station::Station>> running = station::Station::Start(
        {.station = *stationFile,
         .stationId = stationId,
         .library = phoneLibrary.get(),
         .writer = recording->Writer(),
         .publisher = publisher.get(),
         .deviceTreeRoot = phone::DeviceTreeRoot(),
         .timeout = options.timeout,
         .events = [&](const SlotEvent& event) { loop.Post([&show, event] { show(event); }); }});
    if (!running) {
        Err(std::string(kCommand) + ": " + running.Error() + "\n");
        return kExitBadInput;
    }
    station::Station& station = **running;
    const StopSignal stop([&] { loop.Post([&] { done = true; }); });
    if (const Status listening = (*devices)->Start(station.Handlers()); !listening) {
        Err(std::string(kCommand) + ": " + listening.Error() + "\n");
        return kExitFailed;
    }
    if (board)
        boardView.Station(stationId, true);
    while (!done)
        loop.RunOnce();
    (*devices)->Stop();
    station.Stop();
    // The stopped runs' last events.
    loop.RunOnce(std::chrono::milliseconds(0));
    boardView.Close();
    PrintSummary(station.Shift(), std::chrono::steady_clock::now() - started, options.json);
    if (publisher)
        publisher->Stop();
    // The last runs' records are given a moment to reach the central
    // database; what the server did not take waits in the outbox.
    if (forwarder)
        if (const std::int64_t waiting = forwarder->Finish(kForwardingGrace); waiting > 0)
            Err(std::string(kCommand) + ": " + std::to_string(waiting) +
                " records wait for the central database; they go with the station's next "
                "start or with 'marlow-cli runs forward'\n");
    if (stop.Raised())
        return stop.ExitCode();
    return anyFailed ? kExitFailed : kExitOk;
}

CommandRegistrar reg({"station", "serve the slots of a station file until stopped", RunStation});

} // namespace
} // namespace marlow::cli
