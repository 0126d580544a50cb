// A station slot in-process, where a test can place a handset's arrival and
// removal exactly between the slot's own steps: the station's report of one
// step is where the test plugs or pulls a handset, so the order is the same
// on every run however the threads are scheduled.

#include "emulators/in_process_usb.h"
#include "emulators/modem_emulator.h"
#include "emulators/pda_in_process_device.h"
#include "emulators/sample_set.h"
#include "emulators/station_emulator.h"
#include "emulators/usb_tty_tree.h"
#include "phone/usb_tty_paths.h"
#include "phone/vendor_library.h"
#include "station/station_run.h"
#include "support/temp_dir.h"
#include "support/watched.h"
#include "usb/virtual_bus_source.h"

#include <gtest/gtest.h>

#include <deque>
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

// Each case's samples, library and device tree, and the slot's reports as
// lines (progress left out).
class StationSlots : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(set) << set.Error();
        ASSERT_TRUE(library) << library.Error();
        ASSERT_TRUE(emulators::PrepareUsbTtyTree(root));
    }
    // The station of that one slot; its reports heard as lines unless `events` hears them.
    Result<std::unique_ptr<Station>> Start(StationSlot slot,
                                           std::function<void(const SlotEvent&)> events = {}) {
        if (!events)
            events = [this](const SlotEvent& event) { Heard(event); };
        return Station::Start({.station = {.slotList = {std::move(slot)}},
                               .library = library->get(),
                               .deviceTreeRoot = root,
                               .timeout = std::chrono::seconds{0},
                               .events = std::move(events)});
    }
    void Heard(const SlotEvent& event) {
        if (const std::string line = Line(event); !line.empty())
            lines.Change([&](auto& kept) { kept.push_back(line); });
    }
    std::vector<std::string> Await(std::size_t count) {
        return lines.Await([&](const auto& kept) { return kept.size() >= count; });
    }

    marlow::test::TempDir dir;
    const std::string root = dir.File("root");
    const Result<samples::SampleSet> set = samples::WriteSampleSet(dir.File("samples"));
    const Result<std::unique_ptr<phone::VendorLibrary>> library =
        phone::LoadDownloadLibrary(MARLOW_STANDIN_LIBRARY);
    marlow::test::Watched<std::vector<std::string>> lines;
};

// Handset n+1 is plugged into the slot at the n-th report of `plugAt`;
// handset n is pulled out as its run finishes.
struct Row {
    const char* name;
    SlotEventKind plugAt;
};

TEST_F(StationSlots, EachHandsetOnTheSlotsPortIsServedOnceTheSlotIsFree) {
    const Row rows[] = {
        {"plugged in as the last handset's run ends", SlotEventKind::Finished},
        {"plugged in while the last handset's run goes on", SlotEventKind::Started},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        lines({});
        constexpr int kHandsets = 3;
        std::deque<emulators::PdaBootLoaderEmulator> emulators;
        std::deque<emulators::InProcessUsbPair> pairs;
        for (int n = 1; n <= kHandsets; ++n) {
            pairs.push_back(
                emulators::MakeInProcessUsbPair("handset", "inproc:" + std::to_string(n)));
            emulators::AttachEmulator(*pairs.back().device, emulators.emplace_back());
        }
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
        const auto station =
            Start({"1", "1-1.1", SlotMode::Pda, set->list, ""}, [&](const SlotEvent& event) {
                const int count = ++heard[event.kind];
                if (event.kind == SlotEventKind::Finished)
                    handlers.removed("inproc:" + std::to_string(count));
                if (event.kind == row.plugAt && count == plugged)
                    plug();
                Heard(event);
            });
        ASSERT_TRUE(station) << station.Error();
        handlers = (*station)->Handlers();
        plug();

        std::vector<std::string> expected;
        for (int n = 0; n < kHandsets; ++n)
            expected.insert(expected.end(), {"started", "finished passed", "ready"});
        EXPECT_EQ(Await(expected.size()), expected);
        (*station)->Stop();
    }
}

// A phone slot's handset comes as its modem port under the slot's port
// path; a boot loader on that port is not the slot's, and the slot is
// ready again once the modem port has gone.
TEST_F(StationSlots, APhoneSlotServesTheModemPortUnderItsPortPath) {
    const emulators::UsbTtyPlace place{.portPath = "1-1.1", .ttyName = "ttyACM3"};
    const auto station = Start({"1", "1-1.1", SlotMode::Phone, "", set->phonePackage});
    ASSERT_TRUE(station) << station.Error();
    emulators::InProcessUsbPair bootLoader = emulators::MakeInProcessUsbPair("handset", "inproc:1");
    bootLoader.host->portPath = "1-1.1";
    (*station)->Handlers().arrived(std::move(bootLoader.host));
    Await(1);
    // The tree first, then the node, as the kernel and udev make them.
    ASSERT_TRUE(emulators::PublishUsbTty(root, place));
    auto modem = emulators::ModemEmulator::Start(phone::TtyDeviceNode(root, place.ttyName), {});
    ASSERT_TRUE(modem) << modem.Error();
    Await(3);
    modem->reset(); // the handset unplugged
    emulators::WithdrawUsbTty(root, place);
    EXPECT_EQ(Await(4), (std::vector<std::string>{"not served: slot 1 flashes the phone alone: it "
                                                  "serves a handset's modem port, not its boot "
                                                  "loader",
                                                  "started", "finished passed", "ready"}));
    (*station)->Stop();
}

// A Total slot's phone half flashes the slot's own package: a lone image
// hands over no phone files, so all four the modem takes are the
// package's. A package that cannot be read refuses the station.
TEST_F(StationSlots, ATotalSlotsPhoneHalfFlashesTheSlotsOwnPackage) {
    const auto station = Start(
        {"1", emulators::SlotPortPath(1), SlotMode::Total, set->images[0], set->phonePackage});
    ASSERT_TRUE(station) << station.Error();
    usb::VirtualBusSource bus(dir.File("bus"));
    ASSERT_TRUE(bus.Start((*station)->Handlers()));
    emulators::StationEmulator fixture({.busPath = dir.File("bus"), .root = root});
    int modemFiles = 0;
    ASSERT_TRUE(
        fixture.Run([&](const emulators::HandsetEvent& event) { modemFiles = event.modemFiles; }));
    EXPECT_EQ(Await(3), (std::vector<std::string>{"started", "finished passed", "ready"}));
    EXPECT_EQ(modemFiles, 4);
    bus.Stop();
    (*station)->Stop();

    EXPECT_EQ(Start({"1", "1-1.1", SlotMode::Total, set->list, dir.File("none.brx")}).Error(),
              "slot 1: cannot read the phone package " + dir.File("none.brx") +
                  ": No such file or directory");
}

} // namespace
} // namespace marlow::station
