// marlow-cli emulate handset: the whole virtual handset. Its PDA boot loader
// sits on the virtual USB bus; once told PHONE_DOWN_CMD it leaves the bus and
// its modem's port appears at --modem-link, speaking the modem download link.

#include "cli/arguments.h"
#include "cli/command_registry.h"
#include "cli/output.h"
#include "cli/shared_options.h"
#include "cli/stop_signal.h"
#include "emulators/modem_emulator.h"
#include "emulators/pda_bootloader_emulator.h"
#include "emulators/pda_bus_device.h"
#include "pda/pda_protocol.h"

#include <QCommandLineParser>
#include <QJsonArray>
#include <QJsonObject>

#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace marlow::cli {
namespace {

using namespace std::chrono_literals;

std::atomic<bool> handsetStop{false};
// The PDA side while it serves, for a stop signal to end at once.
std::atomic<emulators::VirtualBusDevice*> servingDevice{nullptr};
// The modem side sleeps on this until a stop or its modem's news.
std::mutex modemSideMutex;
std::condition_variable modemSideWake;

void WakeModemSide() {
    { const std::lock_guard lock(modemSideMutex); }
    modemSideWake.notify_all();
}

void StopHandset() {
    handsetStop = true;
    if (emulators::VirtualBusDevice* device = servingDevice.load())
        device->Stop();
    WakeModemSide();
}

// Found out before the handset comes up, not at its first file.
Status FolderToWriteIn(const std::string& path) {
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0)
        return Failure{std::strerror(errno)};
    if (!S_ISDIR(status.st_mode))
        return Failure{"it is not a folder"};
    if (::access(path.c_str(), W_OK | X_OK) != 0)
        return Failure{std::strerror(errno)};
    return {};
}

struct HandsetOptions {
    std::string bus;
    std::string modemLink;
    bool once = false;
    bool json = false;
    emulators::ModemEmulatorOptions modem;
};

bool ParseOptions(const QStringList& args, HandsetOptions& options, int* exitCode) {
    QCommandLineParser parser;
    parser.setApplicationDescription(
        "The virtual handset: a PDA boot loader on the virtual USB bus (--bus) that, after "
        "PHONE_DOWN_CMD, leaves the bus and brings up its modem's download port at "
        "--modem-link (a pseudo-terminal) for the modem download library. Without --bus the "
        "modem port appears at once. The modem stores what it receives and can misbehave "
        "on request.");
    const QCommandLineOption bus("bus", "Virtual bus socket to connect the PDA side to.", "SOCKET");
    const QCommandLineOption link("modem-link", "Where the modem's port appears.", "PATH");
    const QCommandLineOption store("store", "Write each file the modem receives here.", "DIR");
    const QCommandLineOption once("once", "End once the modem's process has ended.");
    const QCommandLineOption json("json", "Print the final report as JSON on stdout.");
    const QCommandLineOption refuse("refuse-boot", "The modem refuses every boot.");
    const QCommandLineOption stall("stall-boots", "The first N boots get no answer.", "N");
    const QCommandLineOption fail("fail-part", "The K-th file after a boot fails (1 = PSI).", "K");
    const QCommandLineOption vanish("vanish-at-part", "The modem leaves when file K begins.", "K");
    parser.addOptions({bus, link, store, once, json, refuse, stall, fail, vanish});
    if (!ParseArguments(parser, args, exitCode))
        return false;
    *exitCode = kExitUsage;
    const OptionReader read(parser, args.value(0).toStdString());
    const auto modemLink = read.Required(link, ValueName::Shown);
    if (!modemLink)
        return false;
    options.modemLink = *modemLink;
    for (const auto& [option, into] : {std::pair{&stall, &options.modem.faults.stallBoots},
                                       std::pair{&fail, &options.modem.faults.failPart},
                                       std::pair{&vanish, &options.modem.faults.vanishAtPart}}) {
        const auto value = read.Count(*option, *into);
        if (!value)
            return false;
        *into = *value;
    }
    options.bus = ArgumentBytes(parser.value(bus));
    options.modem.faults.refuseBoot = parser.isSet(refuse);
    options.modem.storeDirectory = ArgumentBytes(parser.value(store));
    if (const std::string& folder = options.modem.storeDirectory; !folder.empty()) {
        if (const Status usable = FolderToWriteIn(folder); !usable) {
            Err("emulate handset: cannot store in " + folder + ": " + usable.Error() + "\n");
            *exitCode = kExitBadInput;
            return false;
        }
    }
    options.once = parser.isSet(once);
    options.json = parser.isSet(json);
    return true;
}

// The PDA side until it leaves the bus; true when it left for the modem.
bool ServePdaSide(const HandsetOptions& options, QJsonObject& report, int* exitCode) {
    emulators::PdaBootLoaderEmulator emulator;
    emulators::VirtualBusDevice device;
    if (const Status connected = device.Connect(options.bus, "Quillon handset (emulated)");
        !connected) {
        Err("emulate handset: " + connected.Error() + "\n");
        *exitCode = kExitFailed;
        return false;
    }
    servingDevice = &device;
    if (handsetStop)
        device.Stop();
    const auto end = emulators::ServePdaEmulator(device, emulator);
    servingDevice = nullptr;

    const emulators::PdaEmulatorReport pda = emulator.Report();
    const std::string left = pda.leftWith ? pda::CommandName(*pda.leftWith) : "";
    report["pdaImages"] = static_cast<qint64>(pda.ram.size());
    report["pdaLeftWith"] = QString::fromStdString(left);
    report["pdaViolation"] = QString::fromStdString(pda.violation);
    Err("emulate handset: PDA side received " + std::to_string(pda.ram.size()) + " image(s)" +
        (left.empty() ? std::string(" and is still on the bus") : ", left with " + left) + "\n");
    if (!pda.violation.empty())
        Err("emulate handset: PROTOCOL VIOLATION: " + pda.violation + "\n");
    if (end == emulators::VirtualBusDevice::Receive::Stopped) {
        *exitCode = kExitStopped;
        return false;
    }
    const bool toModem = pda.leftWith == static_cast<std::uint8_t>(pda::PdaCommand::PHONE_DOWN_CMD);
    *exitCode = pda.violation.empty() && pda.leftWith ? kExitOk : kExitFailed;
    return toModem;
}

// The modem side until Ctrl-C, or with --once until its process has ended.
int ServeModemSide(const HandsetOptions& options, QJsonObject& report) {
    emulators::ModemEmulatorOptions modemOptions = options.modem;
    modemOptions.onChange = WakeModemSide;
    auto started = emulators::ModemEmulator::Start(options.modemLink, modemOptions);
    if (!started) {
        Err("emulate handset: " + started.Error() + "\n");
        return kExitFailed;
    }
    const std::unique_ptr<emulators::ModemEmulator> modem = std::move(*started);
    Err("emulate handset: modem port at " + modem->LinkPath() + " (" + modem->DevicePath() + ")\n");
    {
        std::unique_lock lock(modemSideMutex);
        modemSideWake.wait(lock, [&] {
            return handsetStop ||
                   (options.once && (modem->EndsOfProcess() > 0 || modem->Vanished()));
        });
    }
    QJsonArray files;
    for (const emulators::ReceivedModemFile& file : modem->Files()) {
        Err("emulate handset: modem received " + file.name + " (" +
            std::to_string(file.data.size()) + " bytes)\n");
        QJsonObject entry;
        entry["name"] = QString::fromStdString(file.name);
        entry["bytes"] = static_cast<qint64>(file.data.size());
        files.append(entry);
    }
    const std::vector<std::string> problems = modem->Problems();
    for (const std::string& problem : problems)
        Err("emulate handset: " + problem + "\n");
    report["modemFiles"] = files;
    report["modemBoots"] = modem->Boots();
    report["modemEndsOfProcess"] = modem->EndsOfProcess();
    report["modemAborts"] = modem->Aborts();
    report["modemVanished"] = modem->Vanished();
    if (handsetStop)
        return kExitStopped;
    return problems.empty() ? kExitOk : kExitFailed;
}

int RunEmulateHandset(const QStringList& args) {
    HandsetOptions options;
    int exitCode = kExitOk;
    if (!ParseOptions(args, options, &exitCode))
        return exitCode;
    handsetStop = false;
    const StopSignal stop(StopHandset);

    QJsonObject report;
    const bool modemUp = options.bus.empty() || ServePdaSide(options, report, &exitCode);
    if (modemUp)
        exitCode = ServeModemSide(options, report);
    if (options.json)
        OutJsonLine(report);
    return stop.Raised() ? stop.ExitCode() : exitCode;
}

CommandRegistrar reg({"emulate handset",
                      "the virtual handset: PDA boot loader on the bus, then its modem port",
                      RunEmulateHandset});

} // namespace
} // namespace marlow::cli
