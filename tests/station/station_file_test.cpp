// The station file read, written and asked which slot a port is.

#include "station/station_file.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

namespace marlow::station {
namespace {

Result<StationFile> Read(const marlow::test::TempDir& dir, std::string_view text) {
    marlow::test::WriteFile(dir.File("station.conf"), text);
    return ReadStationFile(dir.File("station.conf"));
}

StationSlot Slot(std::string name, std::string port, SlotMode mode, std::string pda,
                 std::string phone) {
    return {std::move(name), std::move(port), mode, std::move(pda), std::move(phone)};
}

// Comments, blanks and CR LF ends are no matter; relative files are the
// station file's neighbours.
TEST(StationFile, ReadsEachSlotWithItsPortModeAndFiles) {
    const marlow::test::TempDir dir;
    const Result<StationFile> read = Read(dir, "# fixture 3\r\n\r\n"
                                               "[slot A1]\r\n"
                                               "  port = 1-1.2\r\n"
                                               "pda=quill_all.lst\r\n"
                                               "; phone from the list's group\r\n"
                                               "[slot A2]\n"
                                               "mode = phone\n"
                                               "port = 1-1.10\n"
                                               "phone = /srv/phone.brx\n"
                                               "[ slot  B 1 ]\n"
                                               "port=3-2\n"
                                               "mode=pda\n"
                                               "pda=/srv/eboot.bin\n");
    ASSERT_TRUE(read) << read.Error();
    const std::vector<StationSlot> expected{
        Slot("A1", "1-1.2", SlotMode::Total, dir.File("quill_all.lst"), ""),
        Slot("A2", "1-1.10", SlotMode::Phone, "", "/srv/phone.brx"),
        Slot("B 1", "3-2", SlotMode::Pda, "/srv/eboot.bin", "")};
    EXPECT_EQ(read->slotList, expected);
    EXPECT_EQ(Read(dir, StationFileText(*read)).Value(), *read);
}

// Every error names its line, in line order, a slot's own at its header.
TEST(StationFile, RefusesAWrongFileNamingEachLine) {
    const marlow::test::TempDir dir;
    const std::string name = dir.File("station.conf") + ":";
    const std::pair<std::string_view, std::string> rows[] = {
        {"port = 1-1\n", "1: \"port\" is outside a slot: begin each slot with [slot NAME]"},
        {"[slot 1]\nport = 1-1\npda = a\n[slot 1]\nport = 1-2\n",
         "4: slot \"1\" is named twice (first on line 1)"},
        {"[slot 1\n", "1: a section header ends with ']'"},
        {"[station]\nport = 1-1\n", "1: [station] is no slot: write [slot NAME]"},
        {"[slot]\n", "1: a slot needs a name of printable characters: [slot NAME]"},
        {"[slot 1]\nport = 1-1\npda = a\nmode pda\n",
         "4: expected a section [slot NAME] or a line \"key = value\""},
        {"[slot 1]\nport = 1-1\nports = 1-2\npda = a\n",
         "3: unknown key \"ports\": a slot has port, mode, pda and phone"},
        {"[slot 1]\nport = 1-1\nport = 1-2\npda = a\n",
         "3: port is given twice in slot \"1\" (first on line 2)"},
        {"[slot 1]\nport = 1-x\npda = a\n", "2: \"1-x\" is no USB port path (such as 1-2.3)"},
        {"[slot 1]\nport = 1-1\npda = a\n[slot 2]\nport = 1-1\npda = a\n",
         "5: port 1-1 is slot \"1\"'s already (line 2)"},
        {"[slot 1]\nport = 1-1\nmode = fast\npda = a\n",
         "3: mode \"fast\" is none of total, pda, phone"},
        {"[slot 1]\nport =\npda = a\n", "2: port has no value"},
        {"[slot 1]\npda = a\n", "1: slot \"1\" names no port"},
        {"[slot 1]\nport = 1-1\n", "1: slot \"1\": a total slot needs a pda file"},
        {"[slot 1]\nport = 1-1\nmode = phone\n",
         "1: slot \"1\": a phone slot needs a phone package"},
        {"[slot 1]\nport = 1-1\nmode = pda\npda = a\nphone = b\n",
         "1: slot \"1\": a pda slot flashes no phone package"},
        {"# nothing yet\n", " names no slot; write a [slot NAME] section for each slot"},
        {"[slot 1]\nport = 1-1\nmode = fast\n",
         "1: slot \"1\": a total slot needs a pda file\n" + name +
             "3: mode \"fast\" is none of total, pda, phone"},
    };
    for (const auto& [text, error] : rows)
        EXPECT_EQ(Read(dir, text).Error(), name + error) << text;
    EXPECT_EQ(ReadStationFile(dir.File("none")).Error(),
              "Cannot read the station file " + dir.File("none") + ": No such file or directory");
}

TEST(StationFile, APortNoSlotNamesIsNotServed) {
    StationFile station;
    station.slotList = {Slot("A1", "1-1.2", SlotMode::Total, "/a.lst", ""),
                        Slot("A2", "1-1.3", SlotMode::Pda, "/b.lst", "")};
    EXPECT_EQ(SlotOnPort(station, "1-1.3").Value()->name, "A2");
    EXPECT_EQ(SlotOnPort(station, "1-1.4").Error(),
              "The handset on USB port 1-1.4 is not served: no slot of the station sits there");
    EXPECT_EQ(SlotOnPort(station, "").Error(),
              "The handset on an unknown USB port is not served: no slot of the station sits "
              "there");
}

} // namespace
} // namespace marlow::station
