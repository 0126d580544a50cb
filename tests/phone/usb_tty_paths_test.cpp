// Port discovery by USB port path on a device tree shaped as the kernel's,
// published the way the emulated fixture publishes its modems; a device
// node stands in as a plain file, which is all discovery looks at.

#include "emulators/usb_tty_tree.h"
#include "phone/phone_ports.h"
#include "phone/usb_tty_paths.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace marlow::phone::test {
namespace {

using marlow::test::WriteFile;

class UsbTtyPaths : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(emulators::PrepareUsbTtyTree(root.Path())); }
    void Plug(const std::string& port, int interface, const std::string& tty, bool node = true) {
        const Status published = emulators::PublishUsbTty(
            root.Path(), {port, interface, tty, kModemVendorId, kModemProductId});
        ASSERT_TRUE(published) << published.Error();
        if (node)
            WriteFile(TtyDeviceNode(root.Path(), tty), "");
    }
    // An on-board UART: a tty whose device is no USB interface.
    void PlugUart(const std::string& tty) {
        namespace fs = std::filesystem;
        const fs::path device = fs::path(root.Path()) / "sys/devices/platform/serial8250";
        fs::create_directories(device / "tty" / tty);
        fs::create_directory_symlink("../../../serial8250", device / "tty" / tty / "device");
        fs::create_directory_symlink("../../devices/platform/serial8250/tty/" + tty,
                                     fs::path(root.Path()) / "sys/class/tty" / tty);
        WriteFile(TtyDeviceNode(root.Path(), tty), "");
    }

    marlow::test::TempDir root;
};

TEST_F(UsbTtyPaths, ATtyLeadsToItsPortAndAPortToItsTty) {
    Plug("1-1.3", 0, "ttyACM5");
    Plug("1-1.1", 0, "ttyACM0");
    Plug("2-4", 0, "ttyACM9", /*node=*/false); // announced, its node not made yet
    PlugUart("ttyS0");
    const std::pair<std::string, std::optional<std::string>> ttys[] = {
        {"ttyACM5", "1-1.3"},    {"ttyACM0", "1-1.1"},      {"ttyACM9", "2-4"},
        {"ttyS0", std::nullopt}, {"ttyACM4", std::nullopt}, {"../class", std::nullopt}};
    for (const auto& [tty, port] : ttys)
        EXPECT_EQ(UsbPortPathOfTty(root.Path(), tty), port) << tty;
    const std::pair<std::string, std::optional<std::string>> ports[] = {
        {"1-1.3", "ttyACM5"},  {"1-1.1", "ttyACM0"},    {"2-4", std::nullopt},
        {"1-1", std::nullopt}, {"1-1.2", std::nullopt}, {"1-1.3:1.0", std::nullopt}};
    for (const auto& [port, tty] : ports)
        EXPECT_EQ(FindTtyUnderUsbPort(root.Path(), port), tty) << port;
}

// A device with two serial ports offers the one of its first interface,
// whatever their numbers; once that one goes, the other.
TEST_F(UsbTtyPaths, OfTwoTtysUnderOnePortTheFirstInterfacesIsTaken) {
    Plug("1-1.2", 2, "ttyACM1");
    Plug("1-1.2", 0, "ttyACM7");
    EXPECT_EQ(FindTtyUnderUsbPort(root.Path(), "1-1.2"), "ttyACM7");
    emulators::WithdrawUsbTty(root.Path(), {"1-1.2", 0, "ttyACM7", 0, 0});
    EXPECT_EQ(FindTtyUnderUsbPort(root.Path(), "1-1.2"), "ttyACM1");
    EXPECT_EQ(UsbPortPathOfTty(root.Path(), "ttyACM7"), std::nullopt);
}

} // namespace
} // namespace marlow::phone::test
