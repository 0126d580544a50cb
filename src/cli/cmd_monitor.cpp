// marlow-cli monitor: every station's slots, live, as their stations
// publish them to the status broker: a board on a terminal, a plain line a
// change otherwise, or with --json one JSON object a message. It runs until
// stopped (Ctrl-C: exit 130); a broker that is away is tried again and said
// on stderr. Exit 2 for bad arguments or settings (no broker named, an
// address that is no host:port, a password file refused).

#include "cli/command_registry.h"
#include "cli/output.h"
#include "cli/shared_options.h"
#include "cli/slot_board.h"
#include "cli/stop_signal.h"
#include "station/event_loop.h"
#include "status/status_subscriber.h"

#include <QCommandLineParser>
#include <QJsonDocument>

namespace marlow::cli {
namespace {

// The message as one JSON object: "event" says what it is, then the
// payload's own fields.
QJsonObject JsonOfMessage(const status::StatusMessage& message) {
    QJsonObject object;
    const QString station = QString::fromStdString(message.topic.station);
    switch (message.topic.kind) {
    case status::StatusTopic::Kind::Online:
        object = {{"event", "station-online"},
                  {"station", station},
                  {"online", message.payload == status::kOnline}};
        break;
    case status::StatusTopic::Kind::Slot:
    case status::StatusTopic::Kind::Runs:
        object = QJsonDocument::fromJson(QByteArray::fromStdString(message.payload)).object();
        object["event"] =
            message.topic.kind == status::StatusTopic::Kind::Slot ? "slot-state" : "run-finished";
        object["station"] = station;
        break;
    }
    if (message.retained)
        object["retained"] = true;
    return object;
}

int RunMonitor(const QStringList& args) {
    QCommandLineParser parser;
    parser.setApplicationDescription(
        "Shows every station's slots live, as the stations publish them to the status broker, "
        "until stopped.");
    const QCommandLineOption broker = StatusBrokerOption();
    const QCommandLineOption station{"station", "Only this station's slots.", "STATION"};
    const QCommandLineOption json{"json", "Print one JSON object per message."};
    parser.addOptions({broker, station, json});
    int exitCode = kExitOk;
    if (!ParseArguments(parser, args, &exitCode))
        return exitCode;
    const std::string command = args[0].toStdString();
    const OptionReader reader(parser, command);
    const bool asJson = parser.isSet(json);

    station::EventLoop loop;
    bool stopped = false;
    SlotBoard board(SlotBoard::StdoutIsTerminal());
    std::string lastTrouble;
    const auto show = [&](const status::StatusMessage& message) {
        if (asJson) {
            OutJsonLine(JsonOfMessage(message));
            return;
        }
        switch (message.topic.kind) {
        case status::StatusTopic::Kind::Online:
            board.Station(message.topic.station, message.payload == status::kOnline);
            break;
        case status::StatusTopic::Kind::Slot:
            if (const Result<status::SlotStatus> slot = status::ReadSlotPayload(message.payload);
                slot)
                board.Slot(message.topic.station, *slot);
            else
                Err(command + ": " + message.topic.station + "/" + message.topic.slot + ": " +
                    slot.Error() + "\n");
            break;
        case status::StatusTopic::Kind::Runs:
            break; // the slot's own state says how its last run ended
        }
    };
    const auto connection = [&](const std::string& why) {
        if (why == lastTrouble)
            return;
        lastTrouble = why;
        Err(command + ": " + (why.empty() ? "connected" : why + "; trying again") + "\n");
    };
    StopSignal stop([&] { loop.Post([&] { stopped = true; }); });
    Result<std::unique_ptr<status::StatusSubscriber>> subscriber = status::StatusSubscriber::Start(
        {.broker = reader.StatusBroker(broker),
         .station = parser.value(station).toStdString(),
         .message = [&](const status::StatusMessage& m) { loop.Post([&, m] { show(m); }); },
         .connection = [&](const std::string& why) { loop.Post([&, why] { connection(why); }); }});
    if (!subscriber) {
        Err(command + ": " + subscriber.Error() + "\n");
        return kExitUsage;
    }
    while (!stopped)
        loop.RunOnce();
    (*subscriber)->Stop();
    board.Close();
    return stop.ExitCode();
}

const CommandRegistrar kMonitor{
    {"monitor", "Show every station's slots live, from the status broker.", RunMonitor}};

} // namespace
} // namespace marlow::cli
