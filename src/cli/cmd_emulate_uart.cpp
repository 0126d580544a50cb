// marlow-cli emulate uart: a handset on a pseudo-terminal for the UART
// loader. It makes a pseudo-terminal, links PATH to it for the tool to open,
// plays the boot ROM and the boot flasher, and prints what it received.
// Exit 0 when the tool did everything right and the done message went out.

#include "cli/arguments.h"
#include "cli/command_registry.h"
#include "cli/output.h"
#include "cli/shared_options.h"
#include "cli/stop_signal.h"
#include "common/regular_file.h"
#include "emulators/uart_handset_emulator.h"
#include "emulators/uart_pty.h"
#include "uartloader/request_codes.h"

#include <QCommandLineParser>
#include <cstdio>
#include <filesystem>

namespace marlow::cli {
namespace {

using namespace marlow::emulators;

constexpr std::chrono::milliseconds kSessionGap{24 * 60 * 60 * 1000};

std::optional<std::int64_t> Number(const QString& text) {
    bool ok = false;
    const qlonglong value = text.toLongLong(&ok, 0);
    return ok ? std::optional<std::int64_t>(value) : std::nullopt;
}

struct EmulateOptions {
    std::string link;
    std::string outFolder;
    int sessions = 1;
    UartEmulatorOptions emulator;
};

bool Refuse(const QStringList& args, const std::string& why, int* exitCode) {
    Err(args.value(0).toStdString() + ": " + why + "\n(see --help)\n");
    *exitCode = kExitUsage;
    return false;
}

bool ReadOptions(const QStringList& args, EmulateOptions& options, int* exitCode) {
    QCommandLineParser parser;
    parser.setApplicationDescription(
        "Emulates the handset's boot ROM and boot flasher behind a pseudo-terminal. Script "
        "steps: ext-mem-init, flasher, text:T, arrow:T, ping, flash:xloader|normal|adl|"
        "production|ext-mem-init, code:N, long-text:N, silence, vanish, done:T.");
    parser.addOptions({
        {"link", "Symbolic link to create for the tool to open.", "PATH"},
        {"script", "Comma-separated requests to play (default: a full run).", "STEPS"},
        {"asic-position", "Where the ASIC ID pattern starts (0-12; 13+ is not found).", "N"},
        {"silent-boot-rom", "Never send the ASIC ID."},
        {"header-ack", "Answer every partition header with N instead of 0.", "N"},
        {"no-header-ack", "Leave partition headers unanswered."},
        {"frame-ack", "Answer frame --fault-frame with N instead of 0.", "N"},
        {"no-frame-ack", "Leave frame --fault-frame unanswered."},
        {"fault-frame", "The frame (from 0, over the session) the frame faults hit.", "K"},
        {"size-echo-delta", "Add N to the boot flasher's size echo.", "N"},
        {"flash-word", "The word sent after each flash request code (default 0).", "N"},
        {"pace", "Run at the speed of a 115200-baud cable."},
        {"out", "Write what was received into this folder.", "DIR"},
        {"sessions", "Serve this many sessions (0: until stopped; default 1).", "N"},
    });
    if (!ParseArguments(parser, args, exitCode))
        return false;
    options.link = ArgumentBytes(parser.value("link"));
    if (options.link.empty())
        return Refuse(args, "--link PATH is required", exitCode);
    options.outFolder = ArgumentBytes(parser.value("out"));

    UartEmulatorOptions& e = options.emulator;
    if (parser.isSet("script")) {
        const auto script = ParseUartScript(parser.value("script").toStdString());
        if (!script)
            return Refuse(args, "--script: " + script.Error(), exitCode);
        e.script = *script;
    }
    struct NumberOption {
        const char* name;
        std::function<void(std::int64_t)> store;
    };
    const NumberOption numbers[] = {
        {"asic-position", [&](std::int64_t v) { e.asicPosition = static_cast<std::size_t>(v); }},
        {"header-ack", [&](std::int64_t v) { e.faults.headerAck = static_cast<std::uint32_t>(v); }},
        {"frame-ack", [&](std::int64_t v) { e.faults.frameAck = static_cast<std::uint32_t>(v); }},
        {"fault-frame", [&](std::int64_t v) { e.faults.faultFrame = static_cast<std::size_t>(v); }},
        {"size-echo-delta", [&](std::int64_t v) { e.faults.sizeEchoDelta = v; }},
        {"flash-word", [&](std::int64_t v) { e.flashWord = static_cast<std::uint32_t>(v); }},
        {"sessions", [&](std::int64_t v) { options.sessions = static_cast<int>(v); }},
    };
    for (const NumberOption& option : numbers) {
        if (!parser.isSet(option.name))
            continue;
        const std::optional<std::int64_t> value = Number(parser.value(option.name));
        if (!value || (*value < 0 && std::string(option.name) != "size-echo-delta"))
            return Refuse(args, std::string("--") + option.name + " wants a number", exitCode);
        option.store(*value);
    }
    e.bootRomSilent = parser.isSet("silent-boot-rom");
    e.faults.omitHeaderAck = parser.isSet("no-header-ack");
    e.faults.omitFrameAck = parser.isSet("no-frame-ack");
    e.paceBaudRate = parser.isSet("pace") ? 115200 : 0;
    e.openTimeout = kSessionGap;
    return true;
}

std::string PartitionFileName(std::uint32_t code) {
    switch (code) {
    case uartloader::REQ_FLASH_XLOADER:
        return "xloader.bin";
    case uartloader::REQ_FLASH_NORMAL:
        return "normal.bin";
    case uartloader::REQ_FLASH_ADL:
        return "adl.bin";
    case uartloader::REQ_FLASH_PRODUCTION:
        return "production.bin";
    default:
        return "ext-mem-init-partition.bin";
    }
}

bool WriteBytes(const std::filesystem::path& path, const std::vector<std::uint8_t>& bytes) {
    return WriteRegularFile(path.string(), bytes).Ok();
}

bool SaveReceived(const UartEmulatorReport& report, const std::filesystem::path& folder) {
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    bool ok = !ec;
    if (report.secondStage)
        ok = WriteBytes(folder / "2nd-boot.bin", *report.secondStage) && ok;
    if (report.extMemInit)
        ok = WriteBytes(folder / "ext-mem-init.bin", *report.extMemInit) && ok;
    if (report.flasher)
        ok = WriteBytes(folder / "flasher.bin", report.flasher->data) && ok;
    for (const UartPartitionImage& p : report.partitions)
        ok = WriteBytes(folder / PartitionFileName(p.requestCode), p.data) && ok;
    return ok;
}

int RunEmulateUart(const QStringList& args) {
    EmulateOptions options;
    int exitCode = kExitOk;
    if (!ReadOptions(args, options, &exitCode))
        return exitCode;

    auto created = UartPty::Create(options.link);
    if (!created) {
        Err("marlow-cli emulate uart: " + created.Error() + "\n");
        return kExitFailed;
    }
    const std::unique_ptr<UartPty> pty = std::move(*created);
    const StopSignal stop([&pty] { pty->Stop(); });
    Err("handset waiting on " + options.link + " (" + pty->SlavePath() + ")\n");

    const UartHandsetEmulator emulator(options.emulator);
    bool allPassed = true;
    for (int session = 0; options.sessions == 0 || session < options.sessions; ++session) {
        const UartEmulatorReport report = emulator.Run(*pty);
        OutNow(SummariseUartReport(report));
        if (stop.Raised())
            break;
        allPassed = allPassed && report.Passed();
        if (!options.outFolder.empty() && !SaveReceived(report, options.outFolder)) {
            Err("marlow-cli emulate uart: cannot write into " + options.outFolder + "\n");
            allPassed = false;
        }
        if (pty->WaitForHostClose(kSessionGap) != uartloader::LinkStatus::Ok)
            break;
    }
    if (stop.Raised())
        return stop.ExitCode();
    return allPassed ? kExitOk : kExitFailed;
}

CommandRegistrar reg({"emulate uart",
                      "a handset's UART boot ROM and boot flasher on a pseudo-terminal",
                      RunEmulateUart});

} // namespace
} // namespace marlow::cli
