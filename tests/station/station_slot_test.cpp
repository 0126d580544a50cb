// A station slot in-process, where a test can place a handset's arrival and
// removal exactly between the slot's own steps: the station's report of one
// step is where the test plugs or pulls a handset, so the order is the same
// on every run however the threads are scheduled.

#include "emulators/in_process_usb.h"
#include "emulators/pda_in_process_device.h"
#include "emulators/sample_set.h"
#include "phone/vendor_library.h"
#include "station/station_run.h"
#include "support/temp_dir.h"
#include "support/watched.h"

#include <gtest/gtest.h>

#include <deque>
#include <filesystem>
#include <map>

namespace marlow::station {
namespace {

std::string Line(const SlotEvent& event) {
    switch (event.kind) {
    case SlotEventKind::NotServed:
        return "not served: " + event.text;
    case SlotEventKind::Started:
        return "started";
    case SlotEventKind::Progress:
        return {};
    case SlotEventKind::Finished:
        return std::string("finished ") + VerdictName(event.finished.verdict);
    case SlotEventKind::Ready:
        return "ready";
    }
    return {};
}

// Handset n+1 is plugged into the slot at the n-th report of `plugAt`;
// handset n is pulled out as its run finishes.
struct Row {
    const char* name;
    SlotEventKind plugAt;
};

TEST(StationSlot, EachHandsetOnTheSlotsPortIsServedOnceTheSlotIsFree) {
    marlow::test::TempDir dir;
    const auto samples = samples::WriteSampleSet(dir.File("samples"));
    ASSERT_TRUE(samples) << samples.Error();
    std::filesystem::create_directories(dir.File("root/dev"));
    const Row rows[] = {
        {"plugged in as the last handset's run ends", SlotEventKind::Finished},
        {"plugged in while the last handset's run goes on", SlotEventKind::Started},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        constexpr int kHandsets = 3;
        std::deque<emulators::PdaBootLoaderEmulator> emulators;
        std::deque<emulators::InProcessUsbPair> pairs;
        for (int n = 1; n <= kHandsets; ++n) {
            pairs.push_back(
                emulators::MakeInProcessUsbPair("handset", "inproc:" + std::to_string(n)));
            emulators::AttachEmulator(*pairs.back().device, emulators.emplace_back());
        }
        const auto library = phone::LoadDownloadLibrary(MARLOW_STANDIN_LIBRARY);
        ASSERT_TRUE(library) << library.Error();
        marlow::test::Watched<std::vector<std::string>> lines;
        usb::DeviceEvents handlers;
        std::map<SlotEventKind, int> heard;
        int plugged = 0;
        const auto plug = [&] {
            if (plugged < kHandsets) {
                ++plugged;
                pairs[plugged - 1].host->portPath = "1-1.1";
                handlers.arrived(std::move(pairs[plugged - 1].host));
            }
        };
        StationSetup setup{
            .station = {.slotList = {{"1", "1-1.1", SlotMode::Pda, samples->list, ""}}},
            .library = library->get(),
            .deviceTreeRoot = dir.File("root"),
            .timeout = std::chrono::seconds{0},
            .events = [&](const SlotEvent& event) {
                const int count = ++heard[event.kind];
                if (event.kind == SlotEventKind::Finished)
                    handlers.removed("inproc:" + std::to_string(count));
                if (event.kind == row.plugAt && count == plugged)
                    plug();
                if (const std::string line = Line(event); !line.empty())
                    lines.Change([&](std::vector<std::string>& kept) { kept.push_back(line); });
            }};
        Station station(std::move(setup));
        handlers = station.Handlers();
        plug();

        std::vector<std::string> expected;
        for (int n = 0; n < kHandsets; ++n)
            expected.insert(expected.end(), {"started", "finished passed", "ready"});
        EXPECT_EQ(lines.Await([&](const auto& kept) { return kept.size() >= expected.size(); }),
                  expected);
        station.Stop();
    }
}

} // namespace
} // namespace marlow::station
