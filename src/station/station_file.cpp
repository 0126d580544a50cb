#include "station/station_file.h"

#include "common/input_file.h"
#include "common/line_reader.h"
#include "common/path_rules.h"
#include "common/printable_text.h"
#include "common/usb_port_path.h"

#include <algorithm>
#include <array>
#include <map>
#include <optional>

namespace marlow::station {
namespace {

// A station is a few dozen short lines; these bounds only stop a wrong file.
constexpr LineLimits kStationLineLimits{4096, 4096};
// More than this many errors are counted, not listed: the first ones tell
// what is wrong with the file.
constexpr std::size_t kErrorsListed = 12;

constexpr std::array kModes{std::pair{SlotMode::Total, std::string_view("total")},
                            std::pair{SlotMode::Pda, std::string_view("pda")},
                            std::pair{SlotMode::Phone, std::string_view("phone")}};

std::string_view Trimmed(std::string_view text) {
    const std::size_t first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos)
        return {};
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

std::string Quoted(std::string_view text) {
    return "\"" + Printable(text) + "\"";
}

bool IsSlotName(std::string_view name) {
    for (const char c : name)
        if (c < 0x20 || c >= 0x7f || c == '[' || c == ']')
            return false;
    return !name.empty();
}

// Reads the lines in order; every error is kept with its line.
class Parser {
public:
    Parser(std::string shownName, std::string folder)
        : shownName_(std::move(shownName)), folder_(std::move(folder)) {}

    void Line(std::string_view text, std::size_t number) {
        const std::string_view line = Trimmed(text);
        if (line.empty() || line.front() == '#' || line.front() == ';')
            return;
        if (line.front() == '[')
            return Section(line, number);
        const std::size_t equals = line.find('=');
        if (equals == std::string_view::npos)
            return Error(number, "expected a section [slot NAME] or a line \"key = value\"");
        Key(Trimmed(line.substr(0, equals)), Trimmed(line.substr(equals + 1)), number);
    }

    // About the whole file: told after the lines' errors.
    void Fault(const std::string& text) {
        errors_.push_back({kWholeFile, shownName_ + ": " + text});
    }

    Result<StationFile> Finish() {
        CloseSlot();
        if (errors_.empty() && station_.slotList.empty())
            Fault("names no slot; write a [slot NAME] section for each slot");
        if (errors_.empty())
            return station_;
        // A slot's own errors are found at its end and told at its header.
        std::stable_sort(errors_.begin(), errors_.end(),
                         [](const auto& a, const auto& b) { return a.first < b.first; });
        std::string text;
        for (std::size_t i = 0; i < errors_.size() && i < kErrorsListed; ++i)
            text += (i > 0 ? "\n" : "") + errors_[i].second;
        if (errors_.size() > kErrorsListed)
            text += "\n… and " + std::to_string(errors_.size() - kErrorsListed) + " more";
        return Failure{text};
    }

private:
    struct Seen {
        std::string slot;
        std::size_t line = 0;
    };

    static constexpr std::size_t kWholeFile = static_cast<std::size_t>(-1);

    void Error(std::size_t line, const std::string& text) {
        errors_.push_back({line, shownName_ + ":" + std::to_string(line) + ": " + text});
    }

    void Section(std::string_view line, std::size_t number) {
        CloseSlot();
        // Until the header is taken: the lines under a refused one were told there.
        refused_ = true;
        if (line.back() != ']')
            return Error(number, "a section header ends with ']'");
        const std::string_view inner = Trimmed(line.substr(1, line.size() - 2));
        const bool slot =
            inner == "slot" || inner.starts_with("slot ") || inner.starts_with("slot\t");
        if (!slot)
            return Error(number, "[" + Printable(inner) + "] is no slot: write [slot NAME]");
        const std::string_view name = Trimmed(inner.substr(4));
        if (!IsSlotName(name))
            return Error(number, "a slot needs a name of printable characters: [slot NAME]");
        const std::string key(name);
        if (const auto named = names_.find(key); named != names_.end())
            return Error(number, "slot " + Quoted(name) + " is named twice (first on line " +
                                     std::to_string(named->second) + ")");
        names_[key] = number;
        refused_ = false;
        current_ = StationSlot{};
        current_->name = key;
        currentLine_ = number;
        keys_.clear();
    }

    void Key(std::string_view key, std::string_view value, std::size_t number) {
        if (!current_) {
            if (!refused_)
                Error(number, Quoted(key) + " is outside a slot: begin each slot with [slot NAME]");
            return;
        }
        if (key != "port" && key != "mode" && key != "pda" && key != "phone")
            return Error(number, "unknown key " + Quoted(key) +
                                     ": a slot has port, mode, pda "
                                     "and phone");
        const std::string name(key);
        if (const auto given = keys_.find(name); given != keys_.end())
            return Error(number, name + " is given twice in slot " + Quoted(current_->name) +
                                     " (first on line " + std::to_string(given->second) + ")");
        keys_[name] = number;
        if (value.empty())
            return Error(number, name + " has no value");
        if (std::any_of(value.begin(), value.end(), [](char c) { return c < 0x20 || c == 0x7f; }))
            return Error(number, name + " holds a control character");
        if (key == "port")
            return Port(value, number);
        if (key == "mode")
            return Mode(value, number);
        std::string path(value);
        if (path.front() != '/')
            path = folder_ + path;
        (key == "pda" ? current_->pdaFile : current_->phonePackage) = std::move(path);
    }

    void Port(std::string_view value, std::size_t number) {
        if (!IsUsbPortPath(value))
            return Error(number, Quoted(value) + " is no USB port path (such as 1-2.3)");
        const std::string port(value);
        if (const auto taken = ports_.find(port); taken != ports_.end())
            return Error(number, "port " + port + " is slot " + Quoted(taken->second.slot) +
                                     "'s already (line " + std::to_string(taken->second.line) +
                                     ")");
        ports_[port] = Seen{current_->name, number};
        current_->portPath = port;
    }

    void Mode(std::string_view value, std::size_t number) {
        if (const std::optional<SlotMode> mode = SlotModeNamed(value))
            current_->mode = *mode;
        else
            Error(number, "mode " + Quoted(value) + " is none of total, pda, phone");
    }

    // What the whole slot must have, told at its header.
    void CloseSlot() {
        if (!current_)
            return;
        const StationSlot slot = std::move(*current_);
        current_.reset();
        const std::size_t before = errors_.size();
        if (!keys_.contains("port"))
            Error(currentLine_, "slot " + Quoted(slot.name) + " names no port");
        if (const std::string problem = SlotFilesProblem(slot); !problem.empty())
            Error(currentLine_, "slot " + Quoted(slot.name) + ": " + problem);
        if (errors_.size() == before)
            station_.slotList.push_back(slot);
    }

    std::string shownName_;
    std::string folder_;
    StationFile station_;
    std::vector<std::pair<std::size_t, std::string>> errors_; // (line, text)
    std::optional<StationSlot> current_;
    std::size_t currentLine_ = 0;
    bool refused_ = false;
    std::map<std::string, std::size_t> keys_;  // of the current slot: the line of each
    std::map<std::string, std::size_t> names_; // every slot's name: its header's line
    std::map<std::string, Seen> ports_;
};

} // namespace

std::string_view SlotModeName(SlotMode mode) {
    for (const auto& [each, word] : kModes)
        if (each == mode)
            return word;
    return "total";
}

std::optional<SlotMode> SlotModeNamed(std::string_view word) {
    for (const auto& [mode, each] : kModes)
        if (each == word)
            return mode;
    return std::nullopt;
}

std::string SlotFilesProblem(const StationSlot& slot) {
    const std::string a = "a " + std::string(SlotModeName(slot.mode)) + " slot";
    if (slot.mode != SlotMode::Phone && slot.pdaFile.empty())
        return a + " needs a pda file";
    if (slot.mode == SlotMode::Phone && slot.phonePackage.empty())
        return a + " needs a phone package";
    if (slot.mode == SlotMode::Pda && !slot.phonePackage.empty())
        return a + " flashes no phone package";
    if (slot.mode == SlotMode::Phone && !slot.pdaFile.empty())
        return a + " flashes no pda file";
    return {};
}

Result<StationFile> ParseStationFile(std::FILE* file, const std::string& shownName,
                                     const std::string& folder) {
    Parser parser(shownName, folder);
    LineReader lines(file, kStationLineLimits);
    std::string line;
    for (;;) {
        const LineStatus status = lines.Next(line);
        if (status == LineStatus::EndOfFile)
            break;
        if (status != LineStatus::Line) {
            parser.Fault(lines.Fault());
            break;
        }
        parser.Line(line, lines.LineNumber());
    }
    return parser.Finish();
}

Result<StationFile> ReadStationFile(const std::string& path) {
    Result<InputFile> file = InputFile::Open(path);
    if (!file)
        return Failure{"Cannot read the station file " + Printable(path) + ": " + file.Error()};
    return ParseStationFile(file->Handle(), Printable(path), DirectoryPart(path));
}

std::string StationFileText(const StationFile& station) {
    std::string text = "# Marlow station file (docs/station-file.md): one [slot NAME] section per\n"
                       "# slot. port: the USB port path its handset sits on; mode: total, pda or\n"
                       "# phone; pda: the list or boot image; phone: the phone package.\n";
    for (const StationSlot& slot : station.slotList) {
        text += "\n[slot " + slot.name + "]\nport = " + slot.portPath +
                "\nmode = " + std::string(SlotModeName(slot.mode)) + "\n";
        if (!slot.pdaFile.empty())
            text += "pda = " + slot.pdaFile + "\n";
        if (!slot.phonePackage.empty())
            text += "phone = " + slot.phonePackage + "\n";
    }
    return text;
}

Result<const StationSlot*> SlotOnPort(const StationFile& station, std::string_view portPath) {
    for (const StationSlot& slot : station.slotList)
        if (slot.portPath == portPath)
            return &slot;
    const std::string port =
        portPath.empty() ? std::string("an unknown USB port") : "USB port " + Printable(portPath);
    return Failure{"The handset on " + port + " is not served: no slot of the station sits there"};
}

} // namespace marlow::station
