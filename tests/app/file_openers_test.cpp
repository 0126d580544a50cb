// Every file Marlow reads or writes is opened by the one regular-file rule:
// for each opener, a named pipe in the file's place, also one that another
// program puts there between the look at the name and the open, is refused
// with that reason, and nothing waits on it.

#include "common/read_through_file.h"
#include "common/regular_file.h"
#include "pda/boot_image_writer.h"
#include "phone/phone_file_check.h"
#include "phone/phone_package.h"
#include "phone/vendor_library.h"
#include "stamp/trailer.h"
#include "support/temp_dir.h"
#include "uartloader/loader_settings.h"

#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace marlow {
namespace {

std::string pipe; // made afresh for each open

void SwapInThePipe(const std::string& path) {
    std::filesystem::rename(pipe, path);
    SetSwapBeforeOpenForTests(nullptr);
}

TEST(FileOpeners, APipeIsRefusedAlsoWhenItTakesTheFilesPlaceAfterTheLook) {
    test::TempDir dir;
    pipe = dir.File("pipe");
    phone::PhoneFileSet files;
    uartloader::LoaderSettings settings;
    using Open = std::function<std::string(const std::string& path)>;
    const std::pair<const char*, Open> openers[] = {
        {"reader", [](auto& path) { return ReadThroughFile::Open(path).Error(); }},
        {"writer", [](auto& path) { return WriteRegularFile(path, {}).Error(); }},
        {"image", [](auto& path) { return pda::WriteGeneratedImage(path, {}).Error(); }},
        {"library", [](auto& path) { return phone::LoadDownloadLibrary(path.c_str()).Error(); }},
        {"package", [&](auto& path) { return phone::LoadPhonePackage(path, files).reason; }},
        {"phone file", [&](auto&) { return phone::PhoneFileProblems(files).front(); }},
        {".mfl", [&](auto& path) { return uartloader::ReadMflFile(path, settings).Error(); }},
        {"stamp", [](auto& path) { return stamp::AppendTrailer(path, "A", "1").error; }},
    };
    const std::string file = dir.File("file");
    files.Assign(phone::PhoneFileRole::PsiLoader, "psi.flb", file);
    for (const auto& [name, open] : openers) {
        for (const bool swapped : {false, true}) {
            std::filesystem::remove(file);
            std::filesystem::remove(pipe); // when an opener never opened
            test::WriteFile(file, "x");
            ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
            if (swapped)
                SetSwapBeforeOpenForTests(&SwapInThePipe);
            else
                SwapInThePipe(file);
            EXPECT_NE(open(file).find("is not a regular file (a named pipe)"), std::string::npos)
                << name << (swapped ? ", swapped in" : "");
            SetSwapBeforeOpenForTests(nullptr);
        }
    }
}

} // namespace
} // namespace marlow
