// marlow-cli emulate pda: a PDA boot loader on the virtual USB bus, with
// fault injection, for demos, scripts and tests without a handset.

#include "cli/arguments.h"
#include "cli/command_registry.h"
#include "cli/output.h"
#include "cli/shared_options.h"
#include "cli/stop_signal.h"
#include "emulators/pda_bootloader_emulator.h"
#include "emulators/pda_bus_device.h"
#include "pda/pda_protocol.h"

#include <QCommandLineParser>
#include <QJsonArray>
#include <QJsonObject>

#include <cstdio>

namespace marlow::cli {
namespace {

struct IntOption {
    QCommandLineOption option;
    int* into;
};

QJsonObject ImageJson(const emulators::EmulatedImage& image) {
    QJsonObject object;
    object["start"] = QString::fromStdString(Hex32(image.startAddress));
    object["length"] = static_cast<qint64>(image.imageLength);
    object["records"] = static_cast<qint64>(image.records);
    object["chunks"] = static_cast<qint64>(image.chunks);
    object["bytes"] = static_cast<qint64>(image.digest.Bytes());
    object["digest"] = QString::number(image.digest.Value(), 16);
    object["complete"] = image.complete;
    object["launch"] = QString::fromStdString(Hex32(image.launchAddress));
    return object;
}

void PrintReport(const emulators::PdaEmulatorReport& report, bool json) {
    const std::string left =
        report.leftWith ? pda::CommandName(*report.leftWith) : std::string("(still on the bus)");
    Err("emulate pda: " + std::to_string(report.ram.size()) + " image(s) in RAM, " +
        std::to_string(report.flash.size()) + " written to flash, " +
        std::to_string(report.hostBytes) + " bytes received, left after " + left + "\n");
    if (!report.violation.empty())
        Err("emulate pda: PROTOCOL VIOLATION: " + report.violation + "\n");
    if (!json)
        return;
    QJsonObject object;
    QJsonArray ram, flash, transcript;
    for (const auto& image : report.ram)
        ram.append(ImageJson(image));
    for (const auto& image : report.flash)
        flash.append(ImageJson(image));
    for (const auto& step : report.transcript)
        transcript.append(QString::fromStdString(step));
    object["ram"] = ram;
    object["flash"] = flash;
    object["transcript"] = transcript;
    object["hostBytes"] = static_cast<qint64>(report.hostBytes);
    object["leftWith"] =
        QString::fromStdString(report.leftWith ? pda::CommandName(*report.leftWith) : "");
    object["violation"] = QString::fromStdString(report.violation);
    OutJsonLine(object);
}

int RunEmulatePda(const QStringList& args) {
    QCommandLineParser parser;
    parser.setApplicationDescription(
        "A PDA boot loader on the virtual USB bus. It checks every packet and fails loudly "
        "on a protocol violation, keeps a RAM and a FLASH model of what it received and "
        "leaves the bus after DOWNLOAD_DONE_CMD, PHONE_DOWN_CMD or USB_UNLOAD_CMD. Faults "
        "count the answered commands (ERASE_RAM_CMD, LAST_DATA_IN_RECORD, LAST_DATA_IN_IMAGE, "
        "WRITE_FLSH_CMD) from 1.");
    const QCommandLineOption bus("bus", "Virtual bus socket to connect to.", "SOCKET");
    const QCommandLineOption description("description", "What the device calls itself.", "TEXT",
                                         "PDA boot loader (emulated)");
    const QCommandLineOption serial("serial",
                                    "The serial number the device gives (none by "
                                    "default), printable ASCII.",
                                    "TEXT");
    const QCommandLineOption json("json", "Print the final report as JSON on stdout.");
    emulators::PdaEmulatorFaults faults;
    int disconnectAfter = -1, flashMs = 0, unexpectedByte = 0x02;
    const std::vector<IntOption> numbers = {
        {{"nak-at", "Answer NAK to the K-th answered command.", "K"}, &faults.nakAtAnswer},
        {{"unexpected", "Send N unexpected bytes before a right reply.", "N"},
         &faults.unexpectedReplies},
        {{"unexpected-at", "...only at the K-th answer (default: every one).", "K"},
         &faults.unexpectedAtAnswer},
        {{"unexpected-byte", "The unexpected byte's value (default 2).", "BYTE"}, &unexpectedByte},
        {{"silent-at", "Never answer the K-th answered command.", "K"}, &faults.silentAtAnswer},
        {{"disconnect-after", "Leave the bus once N host bytes have arrived.", "N"},
         &disconnectAfter},
        {{"flash-ms", "Time the flash write takes.", "MS"}, &flashMs},
        {{"flash-zeros", "Send N zero bytes while the flash is written.", "N"},
         &faults.zeroRepliesDuringFlash},
    };
    parser.addOptions({bus, description, serial, json});
    for (const IntOption& number : numbers)
        parser.addOption(number.option);
    int exitCode = kExitOk;
    // An empty description is a fault to inject: the host's description lookup fails.
    if (!ParseArguments(parser, args, &exitCode, {.mayBeEmpty = {"description"}}))
        return exitCode;
    const OptionReader read(parser, args.value(0).toStdString());
    if (!read.Required(bus, ValueName::Shown))
        return kExitUsage;
    for (const IntOption& number : numbers) {
        const auto value = read.Count(number.option, *number.into, RangeWords::Hidden, 0);
        if (!value)
            return kExitUsage;
        *number.into = *value;
    }
    faults.unexpectedByte = static_cast<std::uint8_t>(unexpectedByte);
    faults.disconnectAfterBytes = disconnectAfter;
    faults.flashWriteTime = std::chrono::milliseconds(flashMs);

    emulators::PdaEmulatorOptions options;
    options.faults = faults;
    emulators::PdaBootLoaderEmulator emulator(options);
    emulators::VirtualBusDevice device;
    if (const Status connected = device.Connect(
            ArgumentBytes(parser.value(bus)), {.text = parser.value(description).toStdString(),
                                               .serialNumber = parser.value(serial).toStdString()});
        !connected) {
        Err("marlow-cli emulate pda: " + connected.Error() + "\n");
        return kExitFailed;
    }

    const StopSignal stop([&device] { device.Stop(); });
    const emulators::VirtualBusDevice::Receive end = emulators::ServePdaEmulator(device, emulator);

    const emulators::PdaEmulatorReport report = emulator.Report();
    PrintReport(report, parser.isSet(json));
    if (end == emulators::VirtualBusDevice::Receive::Stopped)
        return stop.Raised() ? stop.ExitCode() : kExitStopped;
    if (!report.violation.empty() || end == emulators::VirtualBusDevice::Receive::Garbage)
        return kExitFailed;
    return report.leftWith ? kExitOk : kExitFailed;
}

CommandRegistrar reg({"emulate pda", "a PDA boot loader on the virtual USB bus", RunEmulatePda});

} // namespace
} // namespace marlow::cli
