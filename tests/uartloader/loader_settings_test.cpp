#include "uartloader/loader_settings.h"

#include "support/open_files.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace marlow::uartloader {
namespace {

using test::ReadFileText;
using test::TempDir;
using test::WriteFile;

LoaderSettings Edited() {
    LoaderSettings settings = LoaderSettings::Defaults();
    settings.port = "COM9";
    for (std::size_t row = 0; row < kFileRoleCount; ++row) {
        settings.rows[row].path = "/img/file " + std::to_string(row) + ".bin";
        settings.rows[row].extAddress = "A" + std::to_string(row);
        settings.rows[row].entryPoint = row % 2 ? "" : "FF00000" + std::to_string(row);
    }
    return settings;
}

// The port, then each row's path, address and entry point: the dialog's
// defaults, in 28 lines ending "\r\n".
TEST(MflWriting, TheDefaultsGiveTheDialogsTwentyEightLines) {
    TempDir dir;
    ASSERT_TRUE(WriteMflFile(dir.File("a.mfl"), LoaderSettings::Defaults()));
    EXPECT_EQ(ReadFileText(dir.File("a.mfl")),
              "COM1\r\n"
              "C:\\Marlow_V1.4Beta\\2nd_8810bx_stlocked_secure_dev_start_uart2_new.bin\r\n\r\n\r\n"
              "C:\\Marlow_V1.4Beta\\elpida_ddr512_133.bin\r\n\r\n\r\n"
              "C:\\Marlow_V1.4Beta\\boot_flashloader_velmora_NewMap.plain\r\n\r\n\r\n"
              "C:\\Marlow_V1.4Beta\\XL_8810BX_NAND_SDA_0_0_0.BIN\r\n\r\n\r\n"
              "C:\\Marlow_V1.4Beta\\elpida_ddr512_133.bin\r\n\r\n\r\n"
              "C:\\Marlow_V1.4Beta\\adl_test.plain\r\n\r\n\r\n"
              "C:\\Marlow_V1.4Beta\\production_test.plain\r\n\r\n\r\n"
              "C:\\Marlow_V1.4Beta\\eboot.nb0\r\n3D00000\r\n\r\n"
              "C:\\Marlow_V1.4Beta\\Brix.stm\r\n3D00000\r\n\r\n");
}

// A field with a line break is refused before the file is touched; a file
// that cannot be created is named.
TEST(MflWriting, RefusalsNameTheFile) {
    TempDir dir;
    LoaderSettings broken = LoaderSettings::Defaults();
    broken.rows[4].entryPoint = "12\n34";
    ASSERT_EQ(::mkfifo(dir.File("pipe.mfl").c_str(), 0600), 0);
    const std::tuple<std::string, LoaderSettings, std::string> rows[] = {
        {"a.mfl", broken, "Failed to write file a.mfl: a field holds a line break"},
        {"no/such/x.mfl", LoaderSettings::Defaults(),
         "Failed to open file x.mfl: No such file or directory"},
        {"pipe.mfl", LoaderSettings::Defaults(),
         "Failed to open file pipe.mfl: is not a regular file (a named pipe)"},
    };
    for (const auto& [name, settings, error] : rows)
        EXPECT_EQ(WriteMflFile(dir.File(name), settings).Error(), error);
    EXPECT_FALSE(std::filesystem::exists(dir.File("a.mfl")));
}

// A saved file loads back whole. Line 1 is the port as it was chosen, a
// Windows PC's "COM3" or a typed path; a blank one keeps the port.
TEST(MflRoundTrip, LoadOfASavedFileRestoresEverythingAndThePortAsChosen) {
    TempDir dir;
    for (const std::string port : {"COM9", "COM3", "/dev/ttyUSB0", "COM10", "", " \t"}) {
        LoaderSettings written = Edited();
        written.port = port;
        ASSERT_TRUE(WriteMflFile(dir.File("a.mfl"), written));
        const auto read = ReadMflFile(dir.File("a.mfl"), LoaderSettings::Defaults());
        ASSERT_TRUE(read) << port;
        EXPECT_EQ(read->linesRead, 28u) << port;
        EXPECT_EQ(read->notes.size(), read->portRead ? 0u : 1u) << port;
        if (!read->portRead)
            written.port = "COM1"; // as it was
        EXPECT_EQ(read->settings, written) << port;
    }
    // Line ends of "\n" alone, and lines after the 28th, are accepted too.
    WriteFile(dir.File("b.mfl"), FormatMflText(Edited()) + "line 29\nline 30\n");
    const auto lfOnly = ReadMflFile(dir.File("b.mfl"), {});
    ASSERT_TRUE(lfOnly);
    EXPECT_EQ(lfOnly->settings, Edited());
}

// An unreadable file is refused with its reason, and no path leaves a file open.
TEST(MflReading, UnreadableFileChangesNothing) {
    TempDir dir;
    const std::size_t openBefore = test::OpenFileCount();
    std::filesystem::create_directory(dir.File("folder.mfl"));
    LoaderSettings overlong = Edited();
    overlong.rows[2].path = std::string(5000, 'p');
    WriteFile(dir.File("long.mfl"), FormatMflText(overlong));
    const std::pair<const char*, std::string> rows[] = {
        {"nosuch.mfl", "Failed to open file nosuch.mfl: No such file or directory"},
        {"folder.mfl", "Failed to open file folder.mfl: is a folder"},
        {"long.mfl", "Failed to read file long.mfl: line 8 is longer than 1023 characters"},
    };
    for (const auto& [name, error] : rows)
        EXPECT_EQ(ReadMflFile(dir.File(name), Edited()).Error(), error);
    ASSERT_TRUE(WriteMflFile(dir.File("a.mfl"), Edited()));
    EXPECT_TRUE(ReadMflFile(dir.File("a.mfl"), {}));
    EXPECT_EQ(test::OpenFileCount(), openBefore);
}

} // namespace
} // namespace marlow::uartloader
