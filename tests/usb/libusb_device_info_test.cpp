// Which interface carries the bulk pipe, how a device's place is written and
// what an operator reads when a device cannot be opened.

#include "usb/libusb_device_info.h"

#include <gtest/gtest.h>
#include <libusb.h>

namespace marlow::usb {
namespace {

constexpr std::uint8_t kBulk = 0x02;
constexpr std::uint8_t kInterrupt = 0x03;
using Interfaces = std::vector<UsbInterfaceInfo>;

// Interfaces and their alternate settings in descriptor order; transfer
// types other than bulk do not count.
TEST(BulkPairSearch, TakesTheFirstSettingWithBothBulkDirections) {
    const auto pair =
        FindBulkPair(Interfaces{{0, 0, {{0x83, kInterrupt, 8}}},                 // interrupt only
                                {1, 0, {{0x81, kBulk, 64}}},                     // IN only
                                {2, 0, {{0x02, kBulk, 64}, {0x84, kBulk, 512}}}, // the pipe
                                {3, 0, {{0x85, kBulk, 64}, {0x06, kBulk, 64}}}});
    ASSERT_TRUE(pair.has_value());
    EXPECT_EQ(pair->interfaceNumber, 2);
    EXPECT_EQ(pair->inEndpoint, 0x84);
    EXPECT_EQ(pair->outEndpoint, 0x02);
    EXPECT_EQ(pair->inMaxPacketSize, 512);
    const auto alternate = FindBulkPair(Interfaces{
        {0, 0, {{0x81, kInterrupt, 8}, {0x02, kInterrupt, 8}}},
        {0, 1, {{0x81, kInterrupt, 8}, {0x82, kBulk, 64}, {0x03, kBulk, 64}, {0x04, kBulk, 64}}}});
    ASSERT_TRUE(alternate.has_value());
    EXPECT_EQ(alternate->alternateSetting, 1);
    EXPECT_EQ(alternate->inEndpoint, 0x82);
    EXPECT_EQ(alternate->outEndpoint, 0x03);
    EXPECT_FALSE(FindBulkPair({}).has_value());
    EXPECT_FALSE(
        FindBulkPair(Interfaces{{0, 0, {{0x01, kBulk, 64}, {0x02, kBulk, 64}}}}).has_value());
}

TEST(UsbDevicePath, NamesBusAndPortChain) {
    EXPECT_EQ(FormatUsbDevicePath(1, std::vector<std::uint8_t>{4, 2}), "usb:1-4.2");
    EXPECT_EQ(FormatUsbDevicePath(3, std::vector<std::uint8_t>{7}), "usb:3-7");
    EXPECT_EQ(FormatUsbDevicePath(2, {}), "usb:2-0");
}

// Permission denied points at the udev rule; other failures say what happened.
// The ids are four lower-case hex digits each.
TEST(UsbOpenErrors, EachSaysWhatHappenedAndWhatToDo) {
    const UsbDeviceInfo device{0x045e, 0x00ce, "usb:1-4", "1-4"};
    EXPECT_EQ(UsbOpenErrorText(LIBUSB_ERROR_ACCESS, device),
              "Cannot open USB device usb:1-4 (045e:00ce): permission denied: install the udev "
              "rule res/udev/60-marlow.rules (see README) and reconnect the handset");
    for (const auto& [error, says] : {std::pair{LIBUSB_ERROR_NO_DEVICE, "has left the bus"},
                                      std::pair{LIBUSB_ERROR_BUSY, "another program or driver"},
                                      std::pair{LIBUSB_ERROR_IO, "LIBUSB_ERROR_IO"}})
        EXPECT_NE(UsbOpenErrorText(error, device).find(says), std::string::npos) << says;
}

} // namespace
} // namespace marlow::usb
