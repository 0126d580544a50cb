// marlow-cli station learn: writes the station file by asking the engineer
// to plug a handset into each slot in turn; each slot is the USB port path
// the handset arrived on.

#include "cli/arguments.h"
#include "cli/command_registry.h"
#include "cli/device_sources.h"
#include "cli/output.h"
#include "cli/shared_options.h"
#include "cli/stop_signal.h"
#include "common/regular_file.h"
#include "station/event_loop.h"
#include "station/station_file.h"

#include <QCommandLineParser>
#include <QJsonObject>

#include <filesystem>
#include <span>

namespace marlow::cli {
namespace {

constexpr const char* kCommand = "station learn";

struct LearnOptions {
    std::string out;
    int slotCount = 0; // 0: until stopped
    HandsetSource handsets;
    station::StationSlot pattern; // mode and files every slot gets
    bool json = false;
};

bool ParseOptions(const QStringList& args, LearnOptions& options, int* exitCode) {
    QCommandLineParser parser;
    parser.setApplicationDescription(
        "Writes a station file: asks you to plug a handset into each slot in turn and takes "
        "the USB port path it arrives on as that slot's (slots named 1, 2, …). Every slot gets "
        "the same mode and files; edit the file to change one (docs/station-file.md). Without "
        "--slots it learns until Ctrl-C. Handsets plugged in before the start are left alone.");
    const QCommandLineOption out("out", "The station file to write.", "FILE");
    const QCommandLineOption slotOption("slots", "How many slots to learn.", "N");
    const HandsetSourceOptions source(HandsetCount::Several, 0);
    const QCommandLineOption mode("mode", "total (default), pda or phone.", "MODE", "total");
    const QCommandLineOption pda("pda", "The list or boot image the slots flash.", "FILE");
    const QCommandLineOption phone("phone", "The phone package the slots flash.", "FILE");
    const QCommandLineOption json("json", "Print each slot learned as JSON on stdout.");
    parser.addOptions(
        {out, slotOption, source.bus, source.busGroup, source.usb, mode, pda, phone, json});
    if (!ParseArguments(parser, args, exitCode))
        return false;
    *exitCode = kExitUsage;
    const OptionReader read(parser, args.value(0).toStdString());
    const auto outPath = read.Required(out, ValueName::Shown);
    const auto count = outPath ? read.Count(slotOption, 0) : std::nullopt;
    const auto handsets = count ? read.Handsets(source) : std::nullopt;
    if (!handsets)
        return false;
    options.out = *outPath;
    options.slotCount = *count;
    options.handsets = *handsets;
    options.json = parser.isSet(json);
    const std::optional<station::SlotMode> slotMode =
        station::SlotModeNamed(parser.value(mode).toStdString());
    if (!slotMode) {
        Err(std::string(kCommand) + ": --mode is total, pda or phone\n");
        return false;
    }
    options.pattern.mode = *slotMode;
    // Whole paths: the file is read from wherever the station runs.
    const auto absolute = [&](const QCommandLineOption& option) {
        std::error_code error;
        const std::string given = ArgumentBytes(parser.value(option));
        return given.empty() ? given : std::filesystem::absolute(given, error).string();
    };
    options.pattern.pdaFile = absolute(pda);
    options.pattern.phonePackage = absolute(phone);
    if (const std::string problem = station::SlotFilesProblem(options.pattern); !problem.empty()) {
        Err(std::string(kCommand) + ": " + problem + " (--pda FILE, --phone FILE)\n");
        return false;
    }
    return true;
}

// Learns slot after slot from the arrivals, each once the one before is
// taken; a device that does not say where it sits, or sits on a port
// learned already, is told and left alone.
class Learner {
public:
    explicit Learner(const LearnOptions& options) : options_(options) {}

    bool Done() const {
        return options_.slotCount > 0 &&
               station_.slotList.size() >= static_cast<std::size_t>(options_.slotCount);
    }
    const station::StationFile& Station() const { return station_; }

    void Ask() const {
        const std::string next = std::to_string(station_.slotList.size() + 1);
        const std::string which = options_.slotCount > 0
                                      ? next + " of " + std::to_string(options_.slotCount)
                                      : "Ctrl-C when every slot is learned";
        Err(std::string(kCommand) + ": plug a handset into slot " + next + " (" + which + ")\n");
    }

    void Arrived(const usb::UsbTransport& device) {
        const std::string port = device.PortPath();
        const std::string which = device.DevicePath() + " (" + device.Description() + ")";
        if (port.empty()) {
            Err(std::string(kCommand) + ": " + which +
                " does not say which USB port it is on; it cannot make a slot\n");
            return;
        }
        if (const auto known = station::SlotOnPort(station_, port)) {
            Err(std::string(kCommand) + ": USB port " + port + " is slot " + (*known)->name +
                " already; plug the handset into the next slot\n");
            return;
        }
        station::StationSlot slot = options_.pattern;
        slot.name = std::to_string(station_.slotList.size() + 1);
        slot.portPath = port;
        Err(std::string(kCommand) + ": slot " + slot.name + " is USB port " + port + "\n");
        if (options_.json) {
            QJsonObject object;
            object["event"] = "slot";
            object["slot"] = QString::fromStdString(slot.name);
            object["port"] = QString::fromStdString(port);
            OutJsonLine(object);
        }
        station_.slotList.push_back(std::move(slot));
        if (!Done())
            Ask();
    }

private:
    const LearnOptions& options_;
    station::StationFile station_;
};

int RunStationLearn(const QStringList& args) {
    LearnOptions options;
    int exitCode = kExitOk;
    if (!ParseOptions(args, options, &exitCode))
        return exitCode;
    // Found out before the engineer walks the fixture, not after.
    if (const Status writable = NamesRegularFileOrNothing(options.out); !writable) {
        Err(std::string(kCommand) + ": cannot write " + options.out + ": " + writable.Error() +
            "\n");
        return kExitBadInput;
    }
    Result<std::unique_ptr<usb::DeviceSource>> source = MakePdaDeviceSource(
        options.handsets.bus, options.handsets.busGroup, AttachedHandsets::Left);
    if (!source) {
        Err(std::string(kCommand) + ": " + source.Error() + "\n");
        return kExitUsage;
    }
    station::EventLoop loop;
    bool stopped = false;
    const StopSignal stop([&] { loop.Post([&] { stopped = true; }); });
    Learner learner(options);
    usb::DeviceEvents handlers;
    // Taken and let go at once: the handset may be unplugged for the next slot.
    handlers.arrived = [&](std::unique_ptr<usb::UsbTransport> device) { learner.Arrived(*device); };
    handlers.removed = [](const std::string&) {};
    handlers.problem = [](const std::string& text) {
        Err(std::string(kCommand) + ": " + text + "\n");
    };
    usb::DeviceEvents events = station::PostedTo(loop, handlers);
    // Told in turn with the prompts, not from the source's thread.
    events.alreadyAttached = [&loop](const std::string& description) {
        loop.Post([description] {
            Err(std::string(kCommand) + ": " + description +
                " was plugged in before the start; unplug it and plug it into the slot asked "
                "for\n");
        });
    };
    if (const Status started = (*source)->Start(std::move(events)); !started) {
        Err(std::string(kCommand) + ": " + started.Error() + "\n");
        return kExitFailed;
    }
    learner.Ask();
    while (!stopped && !learner.Done())
        loop.RunOnce();
    (*source)->Stop();
    // A count asked for and not reached is an unfinished fixture: nothing is written.
    if (stopped && options.slotCount > 0) {
        Err(std::string(kCommand) + ": stopped with " +
            std::to_string(learner.Station().slotList.size()) + " of " +
            std::to_string(options.slotCount) + " slots learned; nothing written\n");
        return stop.ExitCode();
    }
    if (learner.Station().slotList.empty()) {
        Err(std::string(kCommand) + ": no slot learned; nothing written\n");
        return stop.Raised() ? stop.ExitCode() : kExitFailed;
    }
    const std::string text = station::StationFileText(learner.Station());
    if (const Status written = WriteRegularFile(
            options.out,
            std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
        !written) {
        Err(std::string(kCommand) + ": cannot write " + options.out + ": " + written.Error() +
            "\n");
        return kExitFailed;
    }
    Err(std::string(kCommand) + ": wrote " + std::to_string(learner.Station().slotList.size()) +
        " slot(s) to " + options.out + "\n");
    return kExitOk;
}

CommandRegistrar reg({"station learn",
                      "writes the station file: a handset plugged into each slot in turn",
                      RunStationLearn});

} // namespace
} // namespace marlow::cli
