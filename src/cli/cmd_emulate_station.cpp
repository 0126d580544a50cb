// marlow-cli emulate station: a fixture of N slots, each playing handsets on
// its own USB port path; each handset's boot loader on the virtual bus, its
// modem published under --root as the kernel would show it, for stations,
// soak runs and `station learn` without hardware.

#include "cli/arguments.h"
#include "cli/command_registry.h"
#include "cli/output.h"
#include "cli/shared_options.h"
#include "cli/stop_signal.h"
#include "emulators/station_emulator.h"
#include "pda/pda_protocol.h"

#include <QCommandLineParser>
#include <QJsonArray>
#include <QJsonObject>

namespace marlow::cli {
namespace {

using emulators::HandsetEvent;

constexpr const char* kCommand = "emulate station";

// "3:nak-at=2" into the slot's faults.
bool AddSlotFault(const QString& given, emulators::StationEmulatorOptions& options) {
    const qsizetype colon = given.indexOf(':');
    bool ok = false;
    const int slot = colon > 0 ? given.left(colon).toInt(&ok) : 0;
    if (!ok || slot < 1 || slot > options.slotCount) {
        Err(std::string(kCommand) + ": --slot-fault is SLOT:FAULT with a slot from 1 to " +
            std::to_string(options.slotCount) + " (\"" + ArgumentBytes(given) + "\")\n");
        return false;
    }
    const Status added =
        emulators::AddHandsetFault(given.mid(colon + 1).toStdString(), options.slotFaults[slot]);
    if (!added)
        Err(std::string(kCommand) + ": --slot-fault " + ArgumentBytes(given) + ": " +
            added.Error() + "\n");
    return added.Ok();
}

QJsonArray Words(const std::vector<std::string>& words) {
    QJsonArray array;
    for (const std::string& word : words)
        array.append(QString::fromStdString(word));
    return array;
}

void PrintJson(const HandsetEvent& event) {
    static constexpr std::array kNames{"plugged", "modem", "left"};
    QJsonObject object;
    object["event"] = kNames[static_cast<std::size_t>(event.kind)];
    object["handset"] = event.handset;
    object["serial"] = QString::fromStdString(event.serialNumber);
    object["retest"] = event.retest;
    object["slot"] = event.slot;
    object["port"] = QString::fromStdString(event.portPath);
    object["faults"] = Words(event.faults);
    if (!event.tty.empty()) {
        object["tty"] = QString::fromStdString(event.tty);
        object["node"] = QString::fromStdString(event.ttyNode);
    }
    if (event.kind == HandsetEvent::Kind::Left) {
        object["why"] = QString::fromStdString(event.why);
        object["pdaImages"] = static_cast<qint64>(event.pda.ram.size());
        object["pdaLeftWith"] =
            QString::fromStdString(event.pda.leftWith ? pda::CommandName(*event.pda.leftWith) : "");
        object["pdaViolation"] = QString::fromStdString(event.pda.violation);
        object["modemBoots"] = event.modemBoots;
        object["modemFiles"] = event.modemFiles;
        object["modemEndsOfProcess"] = event.modemEndsOfProcess;
        object["modemAborts"] = event.modemAborts;
        if (!event.problem.empty())
            object["problem"] = QString::fromStdString(event.problem);
    }
    OutJsonLine(object);
}

void PrintLine(const HandsetEvent& event) {
    const std::string handset = "emulate station: handset " + std::to_string(event.handset) + " (" +
                                event.serialNumber + (event.retest ? ", a retest" : "") + ")";
    const std::string slot = "slot " + std::to_string(event.slot) + " (" + event.portPath + ")";
    std::string faults;
    for (const std::string& fault : event.faults)
        faults += (faults.empty() ? ", faults: " : " ") + fault;
    switch (event.kind) {
    case HandsetEvent::Kind::Plugged:
        return Err(handset + " plugged into " + slot + faults + "\n");
    case HandsetEvent::Kind::Modem:
        return Err(handset + " in " + slot + " is a modem at " + event.tty + " (" + event.ttyNode +
                   ")\n");
    case HandsetEvent::Kind::Left:
        break;
    }
    Err(handset + " left " + slot + ": " + event.why + "; PDA side received " +
        std::to_string(event.pda.ram.size()) + " image(s)" +
        (event.tty.empty()
             ? std::string()
             : "; modem received " + std::to_string(event.modemFiles) + " file(s) after " +
                   std::to_string(event.modemBoots) + " boot(s)") +
        (event.problem.empty() ? "" : ": " + event.problem) + "\n");
    if (!event.pda.violation.empty())
        Err("emulate station: PROTOCOL VIOLATION in " + slot + ": " + event.pda.violation + "\n");
}

bool ParseOptions(const QStringList& args, emulators::StationEmulatorOptions& options, bool& json,
                  int* exitCode) {
    QCommandLineParser parser;
    parser.setApplicationDescription(
        "A fixture of emulated handsets: --slots N slots on USB port paths 1-1.1 … 1-1.N. "
        "Each handset's PDA boot loader arrives on the virtual bus (--bus) with its port path; "
        "after PHONE_DOWN_CMD it comes back as a modem on a pseudo-terminal, published under "
        "--root as /sys and /dev show it (sys/class/tty/ttyACMk under its port path, "
        "dev/ttyACMk); point Marlow's port discovery at it with MARLOW_SYSFS_ROOT. A handset "
        "leaves once the host is done with it, and the slot's next one comes. Each handset has "
        "a serial number of its own (QE<seed>-<handset>). Faults are the emulate pda and "
        "emulate handset flags as words (nak-at=K, refuse-boot, …).");
    const QCommandLineOption slotOption("slots", "How many slots (1 to 64).", "N");
    const QCommandLineOption bus("bus", "Virtual bus socket to connect the handsets to.", "SOCKET");
    const QCommandLineOption root("root", "Where to publish the modems' ports.", "DIR");
    const QCommandLineOption handsets("handsets", "Handsets over all slots (default: one a slot).",
                                      "H");
    const QCommandLineOption order("plug-order", "The slots in the order handsets arrive.",
                                   "3,1,2");
    const QCommandLineOption inTurn("in-turn",
                                    "One handset at a time, each once the one before has left.");
    const QCommandLineOption pace("pace", "A real handset's times: flash writes, re-enumeration, "
                                          "an operator's hands.");
    const QCommandLineOption slotFault(
        "slot-fault", "A fault for every handset of a slot (again for more).", "SLOT:FAULT");
    const QCommandLineOption random(
        "random-faults", "Each handset's chance in percent of one random fault.", "PERCENT");
    const QCommandLineOption seed(
        "seed", "The random faults' seed, and the handsets' serial numbers' (default 1).", "S");
    const QCommandLineOption retest(
        "retest", "Each handset given a fault comes back once it has left, mended, with the "
                  "same serial number, into the next slot.");
    const QCommandLineOption jsonOption("json", "Print each handset's arrival, modem and "
                                                "departure as JSON on stdout.");
    parser.addOptions({slotOption, bus, root, handsets, order, inTurn, pace, slotFault, random,
                       seed, retest, jsonOption});
    if (!ParseArguments(parser, args, exitCode))
        return false;
    *exitCode = kExitUsage;
    const OptionReader read(parser, args.value(0).toStdString());
    const auto busPath = read.Required(bus, ValueName::Shown);
    const auto rootPath = busPath ? read.Required(root, ValueName::Shown) : std::nullopt;
    if (!rootPath || !read.Required(slotOption, ValueName::Shown))
        return false;
    options.busPath = *busPath;
    options.root = *rootPath;
    for (const auto& [option, into] :
         {std::pair{&slotOption, &options.slotCount}, std::pair{&handsets, &options.handsets},
          std::pair{&random, &options.randomFaultPercent}, std::pair{&seed, &options.seed}}) {
        const auto value = read.Count(*option, *into);
        if (!value)
            return false;
        *into = *value;
    }
    if (parser.isSet(order)) {
        options.plugOrder.clear();
        for (const QString& item : parser.value(order).split(',')) {
            bool ok = false;
            options.plugOrder.push_back(item.trimmed().toInt(&ok));
            if (!ok) {
                Err(std::string(kCommand) + ": --plug-order is slot numbers joined by commas\n");
                return false;
            }
        }
    }
    options.inTurn = parser.isSet(inTurn);
    options.pace = parser.isSet(pace);
    options.retest = parser.isSet(retest);
    json = parser.isSet(jsonOption);
    if (const Status usable = emulators::CheckStationOptions(options); !usable) {
        Err(std::string(kCommand) + ": " + usable.Error() + "\n");
        return false;
    }
    for (const QString& given : parser.values(slotFault))
        if (!AddSlotFault(given, options))
            return false;
    return true;
}

int RunEmulateStation(const QStringList& args) {
    emulators::StationEmulatorOptions options;
    bool json = false;
    int exitCode = kExitOk;
    if (!ParseOptions(args, options, json, &exitCode))
        return exitCode;
    emulators::StationEmulator station(options);
    const StopSignal stop([&station] { station.Stop(); });
    bool failed = false;
    const Status ran = station.Run([&](const HandsetEvent& event) {
        if (event.kind == HandsetEvent::Kind::Left)
            failed = failed || !event.pda.violation.empty() || !event.problem.empty();
        PrintLine(event);
        if (json)
            PrintJson(event);
    });
    if (!ran) {
        Err(std::string(kCommand) + ": " + ran.Error() + "\n");
        return kExitBadInput;
    }
    if (stop.Raised())
        return stop.ExitCode();
    return failed ? kExitFailed : kExitOk;
}

CommandRegistrar reg({"emulate station",
                      "a fixture of N emulated handsets, each on its own USB port path",
                      RunEmulateStation});

} // namespace
} // namespace marlow::cli
