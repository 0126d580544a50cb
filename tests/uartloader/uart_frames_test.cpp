#include "uartloader/loader_event_json.h"
#include "uartloader/port_names.h"
#include "uartloader/run_inputs.h"
#include "uartloader/uart_frames.h"

#include "common/little_endian.h"
#include "uartloader/file_senders.h"
#include "uartloader/parity_crc.h"

#include <gtest/gtest.h>

namespace marlow::uartloader {
namespace {

std::vector<std::uint8_t> FirstBytesWithPatternAt(std::size_t position) {
    std::vector<std::uint8_t> bytes(kAsicIdFirstRead, 0x00);
    for (std::size_t i = 0; i < kAsicIdPattern.size() && position + i < bytes.size(); ++i)
        bytes[position + i] = kAsicIdPattern[i];
    return bytes;
}

TEST(AsicIdSearch, FindsThePatternAtEveryPositionUpToTwelveOnly) {
    for (std::size_t position = 0; position <= 13; ++position)
        EXPECT_EQ(FindAsicIdPattern(FirstBytesWithPatternAt(position)),
                  position <= 12 ? std::optional(position) : std::nullopt);
}

TEST(AsicIdSearch, TakesTheLowestOfTwoPositions) {
    std::vector<std::uint8_t> bytes = FirstBytesWithPatternAt(9);
    std::copy(kAsicIdPattern.begin(), kAsicIdPattern.end(), bytes.begin() + 1);
    EXPECT_EQ(FindAsicIdPattern(bytes), 1u);
}

// Reading it back is the handset emulator's part, met in its own tests.
TEST(PartitionHeader, HoldsSizeEntryExtAndTheCrcOfThoseTwelveBytes) {
    const auto header = BuildPartitionHeader(5000, 0x30, 0x03D00000);
    const std::vector<std::uint8_t> expectedStart = {0x88, 0x13, 0, 0, 0x30, 0,
                                                     0,    0,    0, 0, 0xD0, 0x03};
    EXPECT_TRUE(std::equal(expectedStart.begin(), expectedStart.end(), header.begin()));
    EXPECT_EQ(LoadLe32(header, 12), CalcParityCrc(std::span(header).first(12)));
}

// A text ends at its first NUL, or at the received length; an arrow's text
// starts at the fourth byte whatever the first three hold.
TEST(MessageText, EndsAtTheFirstNulOrTheReceivedLength) {
    using Bytes = std::vector<std::uint8_t>;
    EXPECT_EQ(MessageText(Bytes{'O', 'K', 0, 'x', 'y'}, 0), "OK");
    EXPECT_EQ(MessageText(Bytes{'a', 'b', 'c'}, 0), "abc");
    EXPECT_EQ(MessageText(Bytes{0, 0, 0, 'g', 'o', 0}, 3), "go");
    EXPECT_EQ(MessageText(Bytes{'a', 'b'}, 3), "");
}

TEST(Progress, IsComputedWideEnoughNotToWrapAndStopsAtOneHundred) {
    EXPECT_EQ(ProgressPercent(2048, 5000), 40);
    EXPECT_EQ(ProgressPercent(6144, 5000), 100);
    // 43,000,000 x 100 wraps in 32 bits.
    EXPECT_EQ(ProgressPercent(43'000'000, 86'000'000), 50);
    EXPECT_EQ(ProgressPercent(4'000'000'000u, 4'294'967'295u), 93);
}

// COM ports map to the on-board UARTs; other names are taken as they stand.
TEST(PortNames, ComPortsMapToTheOnBoardUartsOtherNamesStand) {
    EXPECT_EQ(SystemPortPath("COM1"), "/dev/ttyS0");
    EXPECT_EQ(SystemPortPath("COM9"), "/dev/ttyS8");
    EXPECT_EQ(SystemPortPath("COM12"), "/dev/ttyS11");
    EXPECT_EQ(SystemPortPath("ttyUSB0"), "/dev/ttyUSB0");
    EXPECT_EQ(SystemPortPath("/tmp/handset"), "/tmp/handset");
    EXPECT_EQ(SystemPortPath("./handset"), "./handset");
    EXPECT_EQ(SystemPortPath("COM0"), "/dev/COM0");
    EXPECT_EQ(SystemPortPath("COMx"), "/dev/COMx");
    EXPECT_EQ(PortNameFromIndex(0), "COM1");
    EXPECT_EQ(PortNameFromIndex(8), "COM9");
}

TEST(PortNames, ARegularFileIsNoPseudoTerminal) {
    EXPECT_FALSE(IsPseudoTerminal("/dev/null"));
    EXPECT_FALSE(IsPseudoTerminal("/nonexistent/port"));
}

// Separate Write takes the file fields, Total Write the list and its own
// address for the normal image; the labels show the list's names either way.
TEST(RunInputChoice, EachModeTakesItsOwnFilesAndNormalImageAddress) {
    LoaderSettings settings = LoaderSettings::Defaults();
    StmList list;
    for (std::size_t row = 0; row < 8; ++row) {
        settings.rows[row].path = "field" + std::to_string(row);
        list.paths[row] = "list" + std::to_string(row);
        list.names[row] = "name" + std::to_string(row);
    }
    settings.rows[7].extAddress = "1234";
    settings.rows[8].extAddress = "3D00000";
    for (const bool total : {false, true}) {
        SCOPED_TRACE(total ? "Total Write" : "Separate Write");
        const RunInputs inputs = ChooseRunInputs(settings, list, total, total);
        for (std::size_t row = 0; row < 8; ++row)
            EXPECT_EQ(inputs.filePaths[row], (total ? "list" : "field") + std::to_string(row));
        EXPECT_EQ(inputs.rows[7].extAddress, total ? "3D00000" : "1234");
        EXPECT_EQ(inputs.names[3], "name3");
        EXPECT_EQ(inputs.listInvalid, total);
    }
}

TEST(EventJson, EscapesLineEndsQuotesControlAndHighBytes) {
    EXPECT_EQ(EventToJson(LogAppended{"\r\nSay \"hi\"\t\x01\xE9"}),
              "{\"event\":\"log\",\"text\":\"\\r\\nSay \\\"hi\\\"\\t\\u0001\xC3\xA9\"}");
    EXPECT_EQ(EventToJson(ProgressChanged{8, 40}),
              "{\"event\":\"progress\",\"bar\":8,\"percent\":40}");
    EXPECT_EQ(EventToJson(ConnectEnabled{false}),
              "{\"event\":\"connect-enabled\",\"enabled\":false}");
    EXPECT_EQ(EventToJson(LogCleared{}), "{\"event\":\"log-cleared\"}");
}

} // namespace
} // namespace marlow::uartloader
