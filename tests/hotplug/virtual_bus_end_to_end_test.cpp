// The whole road over a real socket: the virtual bus listener reports the
// emulated handset, the watcher opens it and the download runs to the end.

#include "support/pda_rig.h"
#include "support/task_queue.h"

#include "emulators/pda_bus_device.h"
#include "hotplug/device_watcher.h"
#include "hotplug/download_command.h"
#include "usb/virtual_bus_source.h"

#include <gtest/gtest.h>

#include <thread>

namespace marlow::test {
namespace {

class QueueOwner : public hotplug::DeviceWatcherOwner {
public:
    pda::PdaRunContext& ContextFor(const std::string&) override { return context; }
    pda::PdaEventSink& SinkFor(const std::string&) override { return out; }
    void Connected(const std::string& path) override {
        hotplug::OperationDownload(*watcher, context, out, &path);
    }
    void Left(const std::string&, const Leaving& leaving) override {
        done = leaving.completed && leaving.passed;
    }

    hotplug::CDeviceWatcher* watcher = nullptr;
    pda::PdaRunContext context;
    RecordingPdaEvents out{context};
    bool done = false;
    TaskQueue tasks;
};

TEST(PdaVirtualBus, ListToFlashEndToEndOverTheSocket) {
    TempDir dir;
    WriteFile(dir.File("a.bin"), pda::BuildBootImage(SmallImage(20000, 2, 1)));
    WriteFile(dir.File("b.bin"), pda::BuildBootImage(SmallImage(51, 1, 2)));
    WriteFile(dir.File("two.lst"), std::string("a.bin\nb.bin\n"));

    QueueOwner owner;
    owner.context.SetSettings(
        {.downloadPath = dir.File("two.lst"), .target = pda::DownloadTarget::Flash});
    hotplug::CDeviceWatcher watcher(owner);
    owner.watcher = &watcher;

    usb::VirtualBusSource source(dir.File("bus.sock"));
    usb::DeviceEvents events;
    events.arrived = [&](std::unique_ptr<usb::UsbTransport> transport) {
        auto shared = std::make_shared<std::unique_ptr<usb::UsbTransport>>(std::move(transport));
        owner.tasks.Post([&, shared] { watcher.OnDeviceArrival(std::move(*shared)); });
    };
    events.removed = [&](const std::string& path) {
        owner.tasks.Post([&, path] { watcher.OnDeviceRemoveComplete(path); });
    };
    const Status started = source.Start(std::move(events));
    ASSERT_TRUE(started) << started.Error();

    emulators::PdaEmulatorOptions options;
    options.faults.flashWriteTime = std::chrono::milliseconds(20);
    options.faults.zeroRepliesDuringFlash = 2;
    emulators::PdaBootLoaderEmulator emulator(options);
    emulators::VirtualBusDevice device;
    ASSERT_EQ(device.Connect(dir.File("bus.sock"), "Emulated boot loader").Error(), "");
    std::thread handset([&] { emulators::ServePdaEmulator(device, emulator); });

    EXPECT_TRUE(owner.tasks.RunUntil([&] { return owner.done; }));
    handset.join();
    source.Stop();

    const auto report = emulator.Report();
    EXPECT_EQ(report.violation, "");
    ASSERT_EQ(report.flash.size(), 2u);
    EXPECT_EQ(report.flash[0].digest.Bytes(), 40000u);
    EXPECT_EQ(report.flash[1].keptChunks.at(0).bytes, SmallImage(51, 1, 2).records[0].data);
    EXPECT_EQ(report.zeroLengthPackets, 1u); // after the 64-byte packet of 51 bytes
    EXPECT_EQ(report.leftWith, std::optional<std::uint8_t>(0x06));
    // The texts on the way are the watcher's and the download's tests' matter.
    EXPECT_EQ(watcher.DeviceCount(), 0u);
}

} // namespace
} // namespace marlow::test
