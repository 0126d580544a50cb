// What one slot's live status costs the network: a slot running Total runs
// back to back, handset after handset, with the events a run really gives
// (a percent step per image and phone file, the port search's polls, a
// clock tick a second on the board), offered to the publisher's pacer as a
// station would offer them, in simulated time. What the pacer lets out is
// exactly what the publisher sends; each message is counted as the MQTT
// PUBLISH packet that carries it (QoS 1: fixed header, topic, packet id,
// the JSON payload), and each finished run's summary besides. The anchor is
// the same stream unpaced: every change its own message.

#include "status/slot_pacer.h"
#include "status/slot_status.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <vector>

namespace {

using namespace std::chrono_literals;
using marlow::status::SlotPacer;
using marlow::status::SlotState;
using marlow::status::SlotStatus;

// A part of a run: what the slot shows, for how long, and how many engine
// events it gives, spread evenly.
struct Part {
    SlotState state;
    const char* file;
    std::chrono::milliseconds length;
    int events;
};

// A Total run as a station sees it: the PDA images (a small boot loader,
// the OS image, its flash write), the hand-over, the modem port's search
// (polled every 10 ms), the four phone files; then the verdict shown until
// the operator swaps the handset.
const std::vector<Part> kTotalRun = {
    {SlotState::Pda, "/images/EBOOT.bin", 1s, 100},
    {SlotState::Pda, "/images/NK.bin", 40s, 100},
    {SlotState::Pda, "/images/NK.bin", 10s, 2}, // the flash write
    {SlotState::HandOver, "", 2s, 2},
    {SlotState::PortWait, "", 4s, 400},
    {SlotState::Phone, "/images/phone/psi.flb", 2s, 100},
    {SlotState::Phone, "/images/phone/slb.flb", 3s, 100},
    {SlotState::Phone, "/images/phone/Quillon_V3_2.fls", 60s, 100},
    {SlotState::Phone, "/images/phone/Quillon_cal.eep", 3s, 100},
    {SlotState::Passed, "", 5s, 0},
    {SlotState::Waiting, "", 10s, 0},
};

constexpr const char* kStation = "line-4-station-02";
constexpr std::chrono::minutes kSimulated{60};

// The bytes of an MQTT 3.1.1 PUBLISH at QoS 1 carrying `payload` on `topic`.
std::int64_t PublishBytes(const std::string& topic, const std::string& payload) {
    const std::size_t remaining = 2 + topic.size() + 2 + payload.size();
    std::size_t lengthBytes = 1;
    for (std::size_t left = remaining; left >= 128; left /= 128)
        ++lengthBytes;
    return static_cast<std::int64_t>(1 + lengthBytes + remaining);
}

struct Traffic {
    std::int64_t messages = 0;
    std::int64_t bytes = 0;
    void Add(const std::string& topic, const std::string& payload) {
        ++messages;
        bytes += PublishBytes(topic, payload);
    }
};

struct Simulation {
    Traffic paced, unpaced;
    int units = 0;
    double minutes = 0; // whole runs: a little over the hour asked for
};

Simulation Simulate() {
    Simulation result;
    SlotPacer pacer(500ms);
    const SlotPacer::Clock::time_point start{};
    const std::string topic = marlow::status::SlotTopic(kStation, "A1");
    const std::int64_t wallMs = 1'700'000'000'000;
    const auto sendDue = [&](SlotPacer::Clock::time_point until) {
        while (const auto due = pacer.NextDue()) {
            if (*due > until)
                break;
            for (const SlotStatus& status : pacer.Due(std::max(*due, start)))
                result.paced.Add(topic, marlow::status::SlotPayload(kStation, status, wallMs));
        }
    };
    const auto offer = [&](std::chrono::milliseconds at, const SlotStatus& status) {
        sendDue(start + at);
        pacer.Offer(status);
        sendDue(start + at);
        result.unpaced.Add(topic, marlow::status::SlotPayload(kStation, status, wallMs));
    };
    SlotStatus slot{.slot = "A1", .state = SlotState::Waiting, .lastVerdict = "passed"};
    std::chrono::milliseconds now{0};
    while (now < kSimulated) {
        const std::chrono::milliseconds runStart = now;
        for (const Part& part : kTotalRun) {
            const std::chrono::milliseconds partStart = now;
            slot.state = part.state;
            slot.file = part.file;
            slot.percent = 0;
            // Engine events and the board's clock tick, in time order.
            std::vector<std::pair<std::chrono::milliseconds, bool>> moments;
            for (int i = 1; i <= part.events; ++i)
                moments.push_back({partStart + part.length * i / part.events, true});
            for (std::chrono::milliseconds tick =
                     std::chrono::floor<std::chrono::seconds>(partStart) + 1s;
                 tick < partStart + part.length; tick += 1s)
                moments.push_back({tick, false});
            std::sort(moments.begin(), moments.end());
            offer(partStart, slot);
            int events = 0;
            for (const auto& [at, engine] : moments) {
                if (engine && part.events > 0)
                    slot.percent = 100 * ++events / part.events;
                if (marlow::status::Running(part.state))
                    slot.elapsedMs = (at - runStart).count();
                offer(at, slot);
            }
            now = partStart + part.length;
            if (part.state == SlotState::Passed) {
                ++slot.units;
                ++slot.firstPass;
                ++result.units;
                const marlow::status::RunSummary run{.runId =
                                                         "0b7f3c1e-6d2a-4f7e-9a51-3c8d2e1f4a60",
                                                     .slot = "A1",
                                                     .kind = "total",
                                                     .verdict = "passed",
                                                     .serialNumber = "QN3512345678",
                                                     .file = "/images/quill_all.lst",
                                                     .startedMs = wallMs,
                                                     .endedMs = wallMs + slot.elapsedMs};
                const std::string runs = marlow::status::RunsTopic(kStation);
                const std::string payload = marlow::status::RunPayload(kStation, run);
                result.paced.Add(runs, payload);
                result.unpaced.Add(runs, payload);
            }
        }
    }
    sendDue(start + now + 1s);
    result.minutes = std::chrono::duration<double, std::ratio<60>>(now).count();
    return result;
}

void BM_StatusTrafficPerSlot(benchmark::State& state) {
    Simulation simulation;
    for (auto _ : state)
        benchmark::DoNotOptimize(simulation = Simulate());
    const double minutes = simulation.minutes;
    state.counters["msgs_per_min"] = static_cast<double>(simulation.paced.messages) / minutes;
    state.counters["bytes_per_min"] = static_cast<double>(simulation.paced.bytes) / minutes;
    state.counters["unpaced_msgs_per_min"] =
        static_cast<double>(simulation.unpaced.messages) / minutes;
    state.counters["unpaced_bytes_per_min"] =
        static_cast<double>(simulation.unpaced.bytes) / minutes;
    state.counters["paced_vs_unpaced"] =
        static_cast<double>(simulation.paced.bytes) / static_cast<double>(simulation.unpaced.bytes);
    state.counters["units_per_min"] = simulation.units / minutes;
}
BENCHMARK(BM_StatusTrafficPerSlot)->Unit(benchmark::kMillisecond);

} // namespace
