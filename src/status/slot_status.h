#pragma once
// What a station tells the factory about its slots, live: each slot's state
// (retained, so a board that starts late sees every slot at once), whether
// the station is on line, and a summary of each record it finishes. The
// topics and the JSON payloads are documented in docs/status-topics.md; the
// encoders here are the only writers and the decoders the only readers.

#include "common/result.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace marlow::status {

// Where a slot is: without a handset (idle: the station does not serve it
// now; waiting: it waits for a handset), in one part of a run, or showing
// how the last run ended until its handset leaves.
enum class SlotState {
    Idle,
    Waiting,
    Pda,
    HandOver,
    PortWait,
    Phone,
    Uart,
    Passed,
    Failed,
    Stopped,
    Removed,
};

// "idle", "waiting", "pda", "hand-over", "port-wait", "phone", "uart",
// "passed", "failed", "stopped", "removed".
const char* NameOf(SlotState state);
std::optional<SlotState> SlotStateNamed(std::string_view name);
// A run lives in the slot (pda to uart).
bool Running(SlotState state);

struct SlotStatus {
    std::string slot{};
    SlotState state = SlotState::Idle;
    std::string file{}; // the file being sent now; empty between files
    int percent = 0;
    std::int64_t elapsedMs = 0; // of the run in the slot, or of the last one
    std::string lastVerdict{};  // the run records' name of the last run's end; empty: none yet
    std::string lastReason{};   // why it failed; empty when it passed
    int units = 0;              // handsets of the shift in this slot
    int firstPass = 0;          // of them, those that passed at their first run
    bool operator==(const SlotStatus&) const = default;
};

// A finished record, as the station's run store holds it.
struct RunSummary {
    std::string runId{};
    std::string slot{};
    std::string kind{};    // "total", "pda", "phone", "uart"
    std::string verdict{}; // "passed", "failed", "stopped", "device-removed", "interrupted"
    std::string reason{};
    std::string serialNumber{};
    std::string file{}; // the list, image or package it flashed
    std::int64_t startedMs = 0;
    std::int64_t endedMs = 0;
    bool operator==(const RunSummary&) const = default;
};

// Topics. A station's or a slot's name is one topic level: '/', '+', '#',
// '%' and NUL in it are written as %2F, %2B, %23, %25 and %00.
std::string TopicLevel(std::string_view name);
std::string NameOfLevel(std::string_view level);
std::string SlotTopic(std::string_view station, std::string_view slot);
std::string OnlineTopic(std::string_view station);
std::string RunsTopic(std::string_view station);

// What a topic under marlow/ is, with the names decoded.
struct StatusTopic {
    enum class Kind { Slot, Online, Runs };
    Kind kind = Kind::Slot;
    std::string station{};
    std::string slot{}; // Slot only
    bool operator==(const StatusTopic&) const = default;
};
std::optional<StatusTopic> ParseTopic(std::string_view topic);

// Payloads: one JSON object on one line (UTF-8), `publishedMs` the wall
// clock when it went out.
std::string SlotPayload(std::string_view station, const SlotStatus& status,
                        std::int64_t publishedMs);
std::string RunPayload(std::string_view station, const RunSummary& run);
inline constexpr std::string_view kOnline = "true";
inline constexpr std::string_view kOffline = "false";

// Read back; what is missing takes its default, and a payload that is no
// JSON object or names no state Marlow knows is refused.
Result<SlotStatus> ReadSlotPayload(std::string_view payload);
Result<RunSummary> ReadRunPayload(std::string_view payload);

} // namespace marlow::status
