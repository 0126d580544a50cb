// The production port source, and discovery by port path, against an
// emulated USB modem: umockdev gives
// the process a /sys and /dev with a 058b:0015 device whose ACM port is
// ttyACM3, beside another vendor's USB serial port. The test binary runs
// under umockdev-wrapper, which makes the source read that tree and watch
// its /dev.

#include "phone/phone_ports.h"
#include "phone/serial_port_source.h"
#include "phone/usb_tty_paths.h"
#include "support/hang_bound.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <mutex>
#include <string>

// glib names a struct member "signals", which Qt's keyword macro would eat.
#include <umockdev.h>

namespace marlow::phone::test {
namespace {

std::string UsbSerialDevice(const std::string& bus, const char* vendor, const char* product,
                            const std::string& tty, const std::string& major) {
    const std::string usb = "/devices/pci0000:00/0000:00:14.0/usb1/" + bus;
    return "P: " + usb + "\n" + "E: DEVTYPE=usb_device\nE: DRIVER=usb\nE: SUBSYSTEM=usb\n" +
           "E: ID_VENDOR_ID=" + vendor + "\nE: ID_MODEL_ID=" + product + "\n" +
           "A: idVendor=" + vendor + "\nA: idProduct=" + product + "\n\n" + "P: " + usb + "/" +
           bus + ":1.0\n" + "E: DEVTYPE=usb_interface\nE: DRIVER=cdc_acm\nE: SUBSYSTEM=usb\n\n" +
           "P: " + usb + "/" + bus + ":1.0/tty/" + tty + "\n" + "N: " + tty + "\n" +
           "L: device=../../../" + bus + ":1.0\n" + "E: DEVNAME=/dev/" + tty +
           "\nE: SUBSYSTEM=tty\nE: ID_BUS=usb\n" + "E: ID_VENDOR_ID=" + vendor +
           "\nE: ID_MODEL_ID=" + product + "\n" + "A: dev=166:" + major + "\n\n";
}

bool UnderUmockdev() {
    const char* preload = std::getenv("LD_PRELOAD");
    return preload != nullptr && std::string(preload).find("umockdev-preload") != std::string::npos;
}

class SerialPortSourceTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!UnderUmockdev())
            GTEST_SKIP() << "needs umockdev-wrapper (LD_PRELOAD of libumockdev-preload) so that "
                            "Qt SerialPort reads an emulated /sys";
        testbed = umockdev_testbed_new();
    }
    void TearDown() override {
        if (testbed != nullptr)
            g_object_unref(testbed);
    }
    void Add(const std::string& description) {
        GError* error = nullptr;
        ASSERT_TRUE(umockdev_testbed_add_from_string(testbed, description.c_str(), &error))
            << (error != nullptr ? error->message : "");
    }

    UMockdevTestbed* testbed = nullptr;
};

TEST_F(SerialPortSourceTest, ListsOnlyTheModemsPort) {
    Add(UsbSerialDevice("1-1", "2341", "0043", "ttyACM0", "0"));
    Add(UsbSerialDevice("1-2", "058b", "0015", "ttyACM3", "3"));
    SerialPortSource source;
    const SystemPort modem{.name = "ACM3", .path = "/dev/ttyACM3", .usbPortPath = "1-2"};
    EXPECT_THAT(source.Ports(), ::testing::ElementsAre(modem));

    // Found as the system names it, on the USB port it hangs on.
    DiscoveredPhonePort port(source, "", kMainWindowPortList);
    const ModemPort found{.path = "/dev/ttyACM3", .usbPortPath = "1-2", .number = 3};
    EXPECT_EQ(port.FindPort(), found);
    EXPECT_EQ(port.FindPort("1-2"), found);
    EXPECT_EQ(port.FindPort("1-1"), std::nullopt);

    // Discovery by port path reads the same tree from "/".
    EXPECT_EQ(UsbPortPathOfTty("/", "ttyACM3"), "1-2");
    EXPECT_EQ(FindTtyUnderUsbPort("/", "1-1"), "ttyACM0");
}

// Another vendor's port alone is no port.
TEST_F(SerialPortSourceTest, WatchSeesTheModemArriveLookingOnlyAtWhatChanged) {
    Add(UsbSerialDevice("1-1", "2341", "0043", "ttyACM0", "0"));
    SerialPortSource source;
    std::mutex mutex;
    std::condition_variable told;
    int changes = 0;
    ASSERT_TRUE(source.WatchPorts([&] {
        const std::lock_guard lock(mutex);
        ++changes;
        told.notify_all();
    }));
    EXPECT_TRUE(source.PortsWatched());
    EXPECT_TRUE(source.Ports().empty());

    Add(UsbSerialDevice("1-2", "058b", "0015", "ttyACM3", "3"));
    {
        std::unique_lock lock(mutex);
        // A guard against a hung test, not a measured time.
        ASSERT_TRUE(told.wait_for(lock, marlow::test::kStuckAfter, [&] { return changes > 0; }));
    }
    ASSERT_EQ(source.Ports().size(), 1u);
    EXPECT_EQ(source.Ports()[0].name, "ACM3");
    source.StopWatchingPorts();
    EXPECT_FALSE(source.PortsWatched());
}

} // namespace
} // namespace marlow::phone::test
