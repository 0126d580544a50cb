#include "phone/phone_ports.h"
#include "phone/serial_port_source.h"
#include "phone_fakes.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace marlow::phone::test {
namespace {

std::vector<int> Find(std::vector<std::string> names, std::size_t capacity = 16) {
    FakePortSource source;
    source.names = std::move(names);
    std::vector<int> numbers;
    for (const ModemPort& port : FindPhonePorts(source, capacity))
        numbers.push_back(port.number);
    return numbers;
}

// The number after the three-letter prefix, in the order enumerated;
// USB0 and names too short to carry a number are skipped.
TEST(FindPhonePorts, NumbersInEnumerationOrder) {
    const std::pair<std::vector<std::string>, std::vector<int>> rows[] = {
        {{"USB3"}, {3}},   {{"USB0", "USB7"}, {7}}, {{"", "USB", "US"}, {}},
        {{"USB12"}, {12}}, {{"USBx"}, {0}},         {{"USB9", "USB2"}, {9, 2}},
    };
    for (const auto& [names, numbers] : rows)
        EXPECT_EQ(Find(names), numbers) << testing::PrintToString(names);
}

TEST(FindPhonePorts, ListStopsAtItsCapacity) {
    std::vector<std::string> names;
    for (int i = 1; i <= 30; ++i)
        names.push_back("USB" + std::to_string(i));
    EXPECT_EQ(Find(names, kFrontPanelPortList).size(), kFrontPanelPortList);
    EXPECT_EQ(Find(names, kMainWindowPortList).size(), kMainWindowPortList);
}

TEST(FindPhonePorts, HugeNumbersDoNotOverflow) {
    const std::vector<int> found = Find({"USB99999999999999999999"});
    ASSERT_EQ(found.size(), 1u);
    EXPECT_GT(found[0], 0);
}

// A pattern's first "%i" or "%d" takes the number; nothing else in it is a format.
TEST(PortName, PatternTakesTheNumberAndIsNotAPrintfFormat) {
    EXPECT_EQ(FormPortName("\\\\.\\USB%i", 3), "\\\\.\\USB3");
    EXPECT_EQ(FormPortName("/dev/ttyACM%d", 12), "/dev/ttyACM12");
    EXPECT_EQ(FormPortName("/dev/%s%n%i%i", 4), "/dev/%s%n4%i");
    EXPECT_EQ(FormPortName("100%%-%i", 1), "100%-1");
    EXPECT_EQ(FormPortName("/dev/modem", 1), "/dev/modem");
}

// The handset that went over to its modem on a USB port gets the modem port
// on that port, opened as the system names it unless a pattern names it.
TEST(DiscoveredPhonePort, TakesThePortOnTheHandsetsUsbPort) {
    FakePortSource source;
    source.names = {"ACM1", "ACM2"};
    source.usbPortPaths = {"1-1", "1-2"};
    DiscoveredPhonePort system(source, "", kMainWindowPortList);
    DiscoveredPhonePort patterned(source, "/dev/modem%i", kMainWindowPortList);
    EXPECT_EQ(system.FindPort(), (ModemPort{"/dev/ttyACM1", "1-1", 1}));
    EXPECT_EQ(system.FindPort("1-2"), (ModemPort{"/dev/ttyACM2", "1-2", 2}));
    EXPECT_EQ(system.FindPort("1-3"), std::nullopt);
    EXPECT_EQ(patterned.FindPort("1-2"), (ModemPort{"/dev/modem2", "1-2", 2}));
    EXPECT_TRUE(system.PortPresent({"/dev/ttyACM2", "1-2", 2}));
    source.names.pop_back();
    EXPECT_FALSE(system.PortPresent({"/dev/ttyACM2", "1-2", 2}));
}

TEST(SerialPortNames, DeviceNodeLosesItsTtyPrefix) {
    EXPECT_EQ(PhonePortNameOf("ttyACM3"), "ACM3");
    EXPECT_EQ(PortNumberOf(PhonePortNameOf("ttyACM3")), 3);
    EXPECT_EQ(PhonePortNameOf("COM5"), "COM5");
}

} // namespace
} // namespace marlow::phone::test
