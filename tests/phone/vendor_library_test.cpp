// Loading the download library: every entry point by name, the set-up calls
// in order, reports routed to their owner; a missing library or entry point
// is a clear refusal.

#include "phone/library_location.h"
#include "phone/vendor_library.h"
#include "support/temp_dir.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QLibrary>
#include <filesystem>
#include <functional>

namespace marlow::phone::test {
namespace {

using ::testing::HasSubstr;

struct LastReport : ReportReceiver {
    void ReceiveReport(std::uint8_t channel, std::uint32_t code, const char* text) override {
        last = std::to_string(channel) + " " + std::to_string(code) + " " + text;
    }
    std::string last;
};

// The recording library, loaded; null (with the reason reported) when it
// would not load.
std::unique_ptr<VendorLibrary> RecordingLibrary() {
    Result<std::unique_ptr<VendorLibrary>> loaded = LoadDownloadLibrary(MARLOW_RECORDING_LIBRARY);
    EXPECT_TRUE(loaded) << loaded.Error();
    return loaded ? std::move(*loaded) : nullptr;
}

std::string TakeCalls() {
    QLibrary library(MARLOW_RECORDING_LIBRARY);
    using Recorded = void (*)(char*, std::uint32_t);
    const auto recorded = reinterpret_cast<Recorded>(library.resolve("RecordedCalls"));
    std::string calls(4096, '\0');
    recorded(calls.data(), static_cast<std::uint32_t>(calls.size()));
    return calls.c_str();
}

// Set-up registers the report, makes the seven parameter calls, and the
// reports reach the attached owner until it detaches; every call passes its
// arguments through.
TEST(VendorLibrary, SetUpRoutesReportsAndCallsPassTheirArgumentsThrough) {
    auto library = RecordingLibrary();
    ASSERT_TRUE(library);
    TakeCalls();
    LastReport receiver;
    StatusText status;
    library->AttachReports(receiver, status);
    EXPECT_EQ(TakeCalls(), "init_callback\n"
                           "set_dll_parameter 0 0\n"
                           "set_dll_parameter 6 1\n"
                           "set_dll_parameter 5 1\n"
                           "set_dll_parameter 8 0\n"
                           "set_dll_parameter 9 0\n"
                           "set_dll_parameter 2 1200000\n"
                           "set_dll_parameter 1 1000000\n");
    QLibrary raw(MARLOW_RECORDING_LIBRARY);
    using Fire = void (*)(std::uint8_t, std::uint32_t, const char*);
    const auto fire = reinterpret_cast<Fire>(raw.resolve("FireReport"));
    fire(1, 2, "57");
    EXPECT_EQ(receiver.last, "1 2 57");
    library->DetachReports();
    fire(1, 0, "late");
    EXPECT_EQ(receiver.last, "1 2 57");

    TakeCalls();
    status.Clear();
    EXPECT_EQ(library->OpenCommPort(1, "/dev/ttyACM3", 460800, status), 0u);
    EXPECT_EQ(status.View(), "opened");
    ControlBlock block{};
    library->BootTarget(1, "/p/modem.fls", block, status);
    library->DownloadFlsFile(1, "/p/psi.flb", status);
    library->DownloadEepFile(1, "/p/modem.eep", 0, status);
    library->EndOfProcess(1, status);
    library->AbortProcess(1, status);
    library->CloseCommPort(1, status);
    EXPECT_EQ(TakeCalls(), "open_comm_port 1 /dev/ttyACM3 /dev/ttyACM3 460800\n"
                           "boot_target 1 /p/modem.fls 0\n"
                           "download_fls_file 1 /p/psi.flb\n"
                           "download_eep_file 1 /p/modem.eep 0\n"
                           "end_of_process 1\n"
                           "abort_process 1\n"
                           "close_comm_port 1\n");
}

// The library is foreign code: what it throws, and a refusal without a word,
// become a failed call whose status text names the entry point.
TEST(VendorLibrary, ThrowOrSilentRefusalIsAFailedCallWithAText) {
    auto library = RecordingLibrary();
    ASSERT_TRUE(library);
    QLibrary raw(MARLOW_RECORDING_LIBRARY);
    using Misbehave = void (*)(const char*, bool);
    const auto misbehave = reinterpret_cast<Misbehave>(raw.resolve("Misbehave"));
    ControlBlock block{};
    const std::vector<std::pair<const char*, std::function<std::uint32_t(StatusText&)>>> calls{
        {"open_comm_port", [&](StatusText& s) { return library->OpenCommPort(1, "/x", 9600, s); }},
        {"close_comm_port", [&](StatusText& s) { return library->CloseCommPort(1, s); }},
        {"boot_target", [&](StatusText& s) { return library->BootTarget(1, "/f", block, s); }},
        {"download_fls_file", [&](StatusText& s) { return library->DownloadFlsFile(1, "/f", s); }},
        {"download_eep_file",
         [&](StatusText& s) { return library->DownloadEepFile(1, "/e", 0, s); }},
        {"abort_process", [&](StatusText& s) { return library->AbortProcess(1, s); }},
        {"end_of_process", [&](StatusText& s) { return library->EndOfProcess(1, s); }},
    };
    for (const bool throwIt : {true, false}) {
        for (const auto& [entry, call] : calls) {
            SCOPED_TRACE(std::string(entry) + (throwIt ? " throws" : " refuses silently"));
            misbehave(entry, throwIt);
            StatusText status;
            EXPECT_EQ(call(status), kCallFailed);
            EXPECT_THAT(std::string(status.View()), HasSubstr(std::string("_IFWD_DL_") + entry));
            EXPECT_THAT(std::string(status.View()),
                        HasSubstr(throwIt ? "disk on fire" : "without saying why"));
        }
    }
    misbehave("", false);
}

// A named file is taken or refused, never replaced: a missing entry point is
// refused by name, a missing library with a hint, and a file that is no
// whole shared object of this program's kind before the loader maps it (a
// copy cut short would kill the program there with SIGBUS).
TEST(LibraryLocation, NamedFileIsTakenOrRefusedNeverReplaced) {
    marlow::test::TempDir dir;
    const std::vector<std::uint8_t> whole = marlow::test::ReadFileBytes(MARLOW_STANDIN_LIBRARY);
    const auto write = [&](const char* name, std::size_t size, std::size_t at, std::uint8_t to) {
        std::vector<std::uint8_t> bytes(whole.begin(), whole.begin() + size);
        bytes[at] = to;
        marlow::test::WriteFile(dir.File(name), bytes);
        return dir.File(name);
    };
    const std::pair<std::string, std::vector<const char*>> rows[] = {
        {MARLOW_STANDIN_LIBRARY, {}},
        {MARLOW_NO_BOOT_LIBRARY, {"has no entry point _IFWD_DL_boot_target"}},
        {"/nonexistent/lib.so", {"/nonexistent/lib.so cannot be loaded", "PhoneLibrary"}},
        {write("cut.so", 3000, 0, 0x7F),
         {"cut.so cannot be loaded: it is cut short", "3000 bytes"}},
        {write("text.so", 3000, 0, 'l'), {"it has no ELF header"}},
        {write("machine.so", whole.size(), 18, whole[18] ^ 1), {"another machine (ELF machine"}},
    };
    for (const auto& [path, refusal] : rows) {
        const auto loaded = LocateDownloadLibrary(QString::fromStdString(path), "/tmp");
        EXPECT_EQ(loaded.Ok(), refusal.empty()) << path << loaded.Error();
        for (const char* text : refusal)
            EXPECT_THAT(loaded.Error(), HasSubstr(text));
    }
}

TEST(LibraryLocation, CopyBesideTheProgramComesBeforeTheSystemSearch) {
    marlow::test::TempDir dir;
    const std::string copy = dir.File(DownloadLibraryFileName().toStdString());
    std::filesystem::copy_file(MARLOW_STANDIN_LIBRARY, copy);
    const QStringList candidates = DownloadLibraryCandidates(QString::fromStdString(dir.Path()));
    ASSERT_EQ(candidates.size(), 2);
    EXPECT_EQ(candidates[0].toStdString(), copy);
    EXPECT_EQ(candidates[1], "IFWD_DownloadDll");
}

} // namespace
} // namespace marlow::phone::test
