// The libusb backend against emulated handsets: umockdev provides the sysfs
// entries, the udev events and the usbfs ioctls, so libusb runs unchanged.

#include "bus_events.h"
#include "umockdev_usb_bed.h"
#include "usb/libusb_device_source.h"
#include "usb/libusb_survey.h"
#include "usb/usb_pipe.h"

#include <gtest/gtest.h>

#include <future>
#include <thread>

namespace marlow {
namespace {

using Bytes = std::vector<std::uint8_t>;
using test::EmulatedBootLoader;
using test::EmulatedBootLoaderShape;
using usb::CUsbPipe;
using usb::LibusbDeviceSource;
using usb::PipeRead;

const std::vector<usb::UsbId> kBootLoaderIds{{0x045e, 0x00ce}};

// Waits for the emulated device to reach a state; the bound only turns a
// hang into a failure.
template <typename Condition> bool Eventually(Condition condition) {
    for (const auto until = std::chrono::steady_clock::now() + test::kStuckAfter;
         std::chrono::steady_clock::now() < until;) {
        if (condition())
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return false;
}

class LibusbBackend : public ::testing::Test {
protected:
    void SetUp() override {
        if (!test::UmockdevUsbBed::Active())
            GTEST_SKIP() << "needs umockdev's preload library; run under umockdev-wrapper "
                            "(ctest does)";
        bed = std::make_unique<test::UmockdevUsbBed>();
    }

    // As the command line starts it: the handsets already plugged in are
    // served too.
    static LibusbDeviceSource::Options ServingAttached() {
        LibusbDeviceSource::Options options;
        options.serveAttached = true;
        return options;
    }

    void StartSource(std::vector<usb::UsbId> ids = kBootLoaderIds,
                     LibusbDeviceSource::Options options = ServingAttached()) {
        source = std::make_unique<LibusbDeviceSource>(std::move(ids), options);
        const Status started = source->Start(events.Sink());
        ASSERT_TRUE(started) << started.Error();
    }

    // The default boot loader, found and its pipe open.
    void PlugAndOpen() {
        device = &bed->Plug({}, false);
        StartSource();
        auto transport = events.TakeArrival();
        ASSERT_NE(transport, nullptr);
        usb::OpenRetryPolicy quick;
        quick.attempts = 3;
        quick.pause = std::chrono::milliseconds(10);
        pipe = std::make_unique<CUsbPipe>(std::move(transport), quick);
        const Status opened = pipe->OpenPipe();
        ASSERT_TRUE(opened) << opened.Error();
    }

    void TearDown() override {
        if (source)
            source->Stop();
    }

    std::unique_ptr<test::UmockdevUsbBed> bed;
    test::BusEvents events;
    std::unique_ptr<LibusbDeviceSource> source;
    EmulatedBootLoader* device = nullptr;
    std::unique_ptr<CUsbPipe> pipe;
};

// Of two devices only the one with an id asked for is reported; one without
// a bulk pair says why it cannot be opened; the survey shows both, with
// their ids, bulk pairs and access.
TEST_F(LibusbBackend, DevicesAreMatchedByTheirIdsAndTheSurveyShowsThemAll) {
    bed->Plug({}, false);
    bed->Plug({.address = 3,
               .port = "4",
               .vendor = 0x1234,
               .product = 0x5678,
               .manufacturer = "Acme",
               .productName = "Dongle",
               .bulkPair = false},
              false);

    StartSource();
    auto transport = events.TakeArrival();
    ASSERT_NE(transport, nullptr);
    EXPECT_EQ(transport->DevicePath(), "usb:1-3");
    EXPECT_EQ(transport->PortPath(), "1-3");
    EXPECT_EQ(transport->Description(), "Korvane PDA Boot Loader");
    source->Stop();
    EXPECT_EQ(events.Arrivals(), 0u) << "the device with another id was reported too";

    StartSource({{0x1234, 0x5678}});
    transport = events.TakeArrival();
    ASSERT_NE(transport, nullptr);
    EXPECT_EQ(transport->DevicePath(), "usb:1-4");
    EXPECT_EQ(transport->Open().Error(),
              "USB device usb:1-4 (1234:5678) has no interface with a bulk IN and a bulk "
              "OUT endpoint; check that PdaUsbIds names the handset's boot loader");
    source->Stop();

    const auto context = usb::LibusbContext::Create();
    ASSERT_TRUE(context) << context.Error();
    const auto survey = usb::SurveyUsbDevices(**context);
    ASSERT_TRUE(survey) << survey.Error();
    const std::vector<usb::UsbSurveyEntry>& entries = *survey;
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].info.path, "usb:1-3");
    EXPECT_EQ(entries[0].info.vendor, 0x045e);
    EXPECT_TRUE(entries[0].hasBulkPair);
    EXPECT_EQ(entries[0].access, usb::UsbAccess::Granted);
    EXPECT_EQ(entries[0].description, "Korvane PDA Boot Loader");
    EXPECT_EQ(entries[1].info.path, "usb:1-4");
    EXPECT_FALSE(entries[1].hasBulkPair);
    EXPECT_EQ(entries[1].description, "Acme Dongle");
}

// Replies come back one byte at a time; a zero-length IN packet carries none.
TEST_F(LibusbBackend, PacketsGoOutOnePerTransferAndRepliesComeBackByteByByte) {
    ASSERT_NO_FATAL_FAILURE(PlugAndOpen());
    ASSERT_TRUE(pipe->WritePipe(Bytes{0x06}));
    ASSERT_TRUE(pipe->WritePipe(Bytes(64, 0x11)));
    ASSERT_TRUE(pipe->WritePipe(Bytes(9, 0x01)));
    ASSERT_TRUE(pipe->WritePipe(Bytes(8205, 0x22)));
    EXPECT_EQ(device->OutTransfers(),
              (std::vector<Bytes>{{0x06}, Bytes(64, 0x11), {}, Bytes(9, 0x01), Bytes(8205, 0x22)}));
    device->QueueReply({0x01});
    device->QueueReply({});
    device->QueueReply({0x02, 0x03});
    Bytes replies(3);
    for (std::uint8_t& reply : replies)
        ASSERT_EQ(pipe->ReadReplyByte(reply), PipeRead::Ok);
    EXPECT_EQ(replies, (Bytes{0x01, 0x02, 0x03}));
}

TEST_F(LibusbBackend, AStopCancelsAPendingReadWhichEndsAsStopped) {
    ASSERT_NO_FATAL_FAILURE(PlugAndOpen());
    std::uint8_t reply = 0;
    auto reading = std::async(std::launch::async, [&] { return pipe->ReadReplyByte(reply); });
    ASSERT_TRUE(Eventually([&] { return device->PendingInTransfers() == 1; }));
    pipe->RequestStop();
    EXPECT_EQ(reading.get(), PipeRead::Stopped);
    EXPECT_EQ(device->CancelledInTransfers(), 1);

    // The pipe works again once the stop is cleared (the unload command).
    pipe->ClearStopRequest();
    ASSERT_TRUE(pipe->WritePipe(Bytes{0x07}));
    device->QueueReply({0x05});
    ASSERT_EQ(pipe->ReadReplyByte(reply), PipeRead::Ok);
    EXPECT_EQ(reply, 0x05);
}

TEST_F(LibusbBackend, ADeviceVanishingDuringAReadFailsTheReadAndIsRemoved) {
    ASSERT_NO_FATAL_FAILURE(PlugAndOpen());
    std::uint8_t reply = 0x00;
    auto reading = std::async(std::launch::async, [&] { return pipe->ReadReplyByte(reply); });
    ASSERT_TRUE(Eventually([&] { return device->PendingInTransfers() == 1; }));
    bed->Unplug(*device);
    EXPECT_EQ(reading.get(), PipeRead::Failed);
    EXPECT_EQ(reply, 0x00);
    EXPECT_EQ(events.TakeRemoval(), "usb:1-3");
    EXPECT_FALSE(pipe->WritePipe(Bytes{0x01}));
    EXPECT_TRUE(pipe->ClosePipe());
}

// Only what arrives after the start is served, with hot-plug events or with
// the device list polled: a handset plugged in before is named and left
// alone, its leaving is nobody's business, and it counts once it is plugged
// in again.
TEST_F(LibusbBackend, ArrivalsAfterTheStartAreReportedWithOrWithoutHotPlug) {
    for (const bool polling : {false, true}) {
        SCOPED_TRACE(polling ? "polled" : "hot-plug");
        // Nodes of their own each time.
        const std::string earlyPort = polling ? "6" : "5";
        EmulatedBootLoader& early =
            bed->Plug({.address = polling ? 7 : 6, .port = earlyPort}, false);
        LibusbDeviceSource::Options options;
        options.forcePolling = polling;
        options.pollInterval = std::chrono::milliseconds(20);
        StartSource(kBootLoaderIds, options);
        EXPECT_EQ(source->UsesHotplugEvents(), !polling);
        EXPECT_EQ(events.TakeAlreadyAttached(), "Korvane PDA Boot Loader");
        const EmulatedBootLoaderShape shape{.address = polling ? 5 : 2,
                                            .port = polling ? "4" : "3"};
        EmulatedBootLoader& device = bed->Plug(shape, !polling);
        auto transport = events.TakeArrival();
        ASSERT_NE(transport, nullptr);
        EXPECT_EQ(transport->DevicePath(), "usb:1-" + shape.port);
        bed->Unplug(early);
        bed->Unplug(device);
        EXPECT_EQ(events.TakeRemoval(), "usb:1-" + shape.port);
        bed->Plug({.address = polling ? 9 : 8, .port = earlyPort}, !polling);
        transport = events.TakeArrival();
        ASSERT_NE(transport, nullptr);
        EXPECT_EQ(transport->DevicePath(), "usb:1-" + earlyPort);
        source->Stop();
        EXPECT_EQ(events.Removals(), 0u);
        EXPECT_EQ(events.Arrivals(), 0u);
    }
}

} // namespace
} // namespace marlow
