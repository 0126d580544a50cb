// Downloads that go wrong: refusals and garbage from the boot loader, a
// device that goes silent or leaves the bus, stop requests, unreadable and
// truncated files. Each must end with the operator's texts and no leftovers.

#include "support/open_files.h"
#include "support/pda_rig.h"

#include "pda/download_plan_check.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <optional>
#include <sys/stat.h>
#include <thread>

namespace marlow::test {
namespace {

using pda::DownloadTarget;
const Calls kAbortedEnd = {"bar|0", T("\n\nERROR_STATE"),
                           T("\n\nEXIT_STATE\n\n Download to Device Aborted!"),
                           "status|Download Aborted! Reconnect the Device to Retry"};

emulators::PdaEmulatorOptions Faults(emulators::PdaEmulatorFaults faults) {
    emulators::PdaEmulatorOptions options;
    options.faults = faults;
    return options;
}

// Answers, for an image of one record: 1 ERASE_RAM_CMD, 2 LAST_DATA_IN_RECORD,
// 3 LAST_DATA_IN_IMAGE, 4 WRITE_FLSH_CMD.
struct RefusalCase {
    emulators::PdaEmulatorFaults faults;
    Calls texts;
    std::string error; // a part of it
    std::size_t pauses = 0;
};

class PdaDownloadRefused : public testing::TestWithParam<RefusalCase> {};

TEST_P(PdaDownloadRefused, EndsInErrorStateWithTheWaitsTexts) {
    PdaRig rig(Faults(GetParam().faults));
    rig.Use(rig.WriteImage("nk.bin", SmallImage(100)), DownloadTarget::Flash);

    const pda::PdaRunOutcome outcome = rig.Run();

    EXPECT_EQ(Tail(rig.out.Calls(), GetParam().texts.size() + kAbortedEnd.size()),
              Join(GetParam().texts, kAbortedEnd));
    EXPECT_FALSE(rig.pipe->Completed());
    EXPECT_NE(outcome.finished.reason.find(GetParam().error), std::string::npos)
        << outcome.finished.reason;
    EXPECT_EQ(outcome.finished.verdict, Verdict::Failed);
    EXPECT_EQ(rig.pauses, std::vector<long>(GetParam().pauses, 100));
}

INSTANTIATE_TEST_SUITE_P(
    EachReplyWait, PdaDownloadRefused,
    testing::Values(
        RefusalCase{{.nakAtAnswer = 1},
                    {T("\nAfter ImageHeader Transfer\r\n"), T("\nReceived NAK on ERASE_RAM_CMD"),
                     T("\nRead not ERASE_RAM_CMD")},
                    "NAK"},
        RefusalCase{{.nakAtAnswer = 2},
                    {T("\n\nRECORDDATA_STATE\t\t 81%"), T("\nReceived NAK on RECORDDATA_STATE"),
                     T("\nRead not LAST_DATA_IN_RECORD")},
                    "NAK"},
        RefusalCase{{.nakAtAnswer = 3},
                    {"wait|show", T("\nReceived NAK on LAST_DATA_IN_IMAGE"),
                     T("\nRead not LAST_DATA_IN_RECORD")},
                    "NAK"},
        RefusalCase{{.unexpectedReplies = 50, .unexpectedAtAnswer = 1},
                    {T("\nAfter ImageHeader Transfer\r\n"), T("\nRead not ERASE_RAM_CMD")},
                    "ERASE_RAM_CMD: 50 unexpected replies, the last 0x02",
                    50}));

// Unexpected replies passed over and the zero replies of a flash write are
// the reply rules' own tests' catches; here only what the run shows.
TEST(PdaDownloadReplies, SlowFlashWriteIsWaitedFor) {
    PdaRig rig(Faults({.flashWriteTime = std::chrono::milliseconds(30)}));
    rig.Use(rig.WriteImage("nk.bin", SmallImage(100)), DownloadTarget::Flash);
    EXPECT_TRUE(rig.Run().Passed());
}

TEST(PdaDownloadRemoval, DuringDataFailsTheWriteAndAborts) {
    // Gone after the image header and the first 8192-byte chunk.
    PdaRig rig(Faults({.disconnectAfterBytes = 9 + 8205}));
    rig.Use(rig.WriteImage("nk.bin", SmallImage(3 * 8192)), DownloadTarget::Ram);

    const pda::PdaRunOutcome outcome = rig.Run();

    EXPECT_EQ(Tail(rig.out.Calls(), 5), Join({T("\nFailed in Transmitting")}, kAbortedEnd));
    EXPECT_EQ(outcome.finished.verdict, Verdict::DeviceRemoved);
    EXPECT_EQ(outcome.finished.reason, "the handset was removed during RECORD_DATA_CMD");
}

TEST(PdaDownloadRemoval, BeforeTheReplyReadEndsTheRunWithoutErrorState) {
    // The boot loader leaves right after taking the image header.
    PdaRig rig(Faults({.disconnectAfterBytes = 9}));
    rig.Use(rig.WriteImage("nk.bin", SmallImage(100)), DownloadTarget::Ram);

    const pda::PdaRunOutcome outcome = rig.Run();

    EXPECT_EQ(
        Tail(rig.out.Calls(), 5),
        (Calls{T("\nAfter ImageHeader Transfer\r\n"), T("\nFailed in Receiving Data"),
               T("\nDownload Aborted!"), "status|Download Aborted! Reconnect the Device to Retry",
               T("\nRead not ERASE_RAM_CMD")}));
    EXPECT_EQ(outcome.finished.verdict, Verdict::DeviceRemoved);
    EXPECT_EQ(outcome.finished.reason, "the handset was removed during ERASE_RAM_CMD");
}

// The handset leaves while a reply is awaited: the run fails with the wait's
// own reason, and a flash write it cut short is not reported as ended.
struct RemovedWhileWaitingCase {
    int silentAt;
    DownloadTarget target;
    const char* trace;
    const char* error;
};

class PdaDownloadRemovedWhileWaiting : public testing::TestWithParam<RemovedWhileWaitingCase> {};

TEST_P(PdaDownloadRemovedWhileWaiting, AbortsWithTheWaitsReason) {
    PdaRig rig(Faults({.silentAtAnswer = GetParam().silentAt}));
    rig.Use(rig.WriteImage("nk.bin", SmallImage(100)), GetParam().target);

    pda::PdaRunOutcome outcome;
    std::thread run([&] { outcome = rig.Run(); });
    ASSERT_TRUE(rig.device->WaitForHostReading());
    rig.device->Disconnect();
    run.join();

    EXPECT_EQ(outcome.finished.verdict, Verdict::Failed); // the pipe alone cannot tell a removal
    EXPECT_EQ(outcome.finished.reason, GetParam().error);
    EXPECT_NE(rig.out.DeviceStateText().find(GetParam().trace), std::string::npos);
    for (const pda::PdaEvent& event : rig.out.Events())
        EXPECT_FALSE(std::holds_alternative<pda::FlashWriteEnded>(event));
}

INSTANTIATE_TEST_SUITE_P(
    EachWait, PdaDownloadRemovedWhileWaiting,
    testing::Values(RemovedWhileWaitingCase{2, DownloadTarget::Ram,
                                            "\nRead not LAST_DATA_IN_RECORD",
                                            "LAST_DATA_IN_RECORD: the reply could not be read"},
                    RemovedWhileWaitingCase{4, DownloadTarget::Flash, "\nFailed in Receiving Data",
                                            "WRITE_FLSH_CMD: the flash write's reply could not "
                                            "be read"}));

TEST(PdaDownloadStop, DuringTheFlashWaitEndsTheRunAtOnceAndQuietly) {
    PdaRig rig(Faults({.silentAtAnswer = 4}));
    rig.Use(rig.WriteImage("nk.bin", SmallImage(100)), DownloadTarget::Flash);

    pda::PdaRunOutcome outcome;
    std::thread run([&] { outcome = rig.Run(); });
    ASSERT_TRUE(rig.device->WaitForHostReading());
    rig.pipe->RequestStop();
    run.join();

    // The flash banner's bytes are the main window's tests' matter.
    const Calls tail = Tail(rig.out.Calls(), 2);
    EXPECT_NE(tail[0].find("[ Start Writing to Flash ]"), std::string::npos) << tail[0];
    EXPECT_EQ(tail[1], T("\nAborted Download!"));
    EXPECT_FALSE(rig.pipe->Completed());
    EXPECT_EQ(outcome.finished.verdict, Verdict::Stopped);
    EXPECT_EQ(outcome.finished.reason, "stopped by the operator during WRITE_FLSH_CMD");
    EXPECT_TRUE(rig.out.Calls("wait|close").empty());
}

// The thread's owner lets go of it at any time: the run blocked in a read
// ends, stopped, and the thread is joined.
TEST(PdaDownloadStop, DroppingTheThreadStopsAndJoinsABlockedRun) {
    PdaRig rig(Faults({.silentAtAnswer = 1}));
    rig.Use(rig.WriteImage("nk.bin", SmallImage(100)), DownloadTarget::Ram);
    ASSERT_TRUE(rig.pipe->OpenPipe());
    std::optional<pda::PdaRunOutcome> ended;
    auto run = pda::PdaDownloadThread::Start(*rig.pipe, rig.context, rig.out,
                                             [&](const pda::PdaRunOutcome& o) { ended = o; });
    ASSERT_TRUE(run) << run.Error();
    ASSERT_TRUE(rig.device->WaitForHostReading());
    run->reset();
    ASSERT_TRUE(ended.has_value());
    EXPECT_EQ(ended->finished.verdict, Verdict::Stopped);
}

// A stop asked for as the download starts (a signal, a closed output) is
// not undone by the run's start.
TEST(PdaDownloadStop, AskedBeforeTheRunBeginsEndsItAtOnce) {
    PdaRig rig;
    rig.Use(rig.WriteImage("nk.bin", SmallImage(100)), DownloadTarget::Ram);
    ASSERT_TRUE(rig.pipe->OpenPipe());
    rig.pipe->RequestStop();
    const pda::PdaRunOutcome outcome = pda::RunPdaDownload(*rig.pipe, rig.context, rig.out);
    EXPECT_FALSE(rig.pipe->Completed());
    EXPECT_EQ(outcome.finished.verdict, Verdict::Stopped) << outcome.finished.reason;
}

TEST(PdaDownloadStop, DuringDataRemovesTheProgressBar) {
    PdaRig rig;
    rig.Use(rig.WriteImage("nk.bin", SmallImage(2 * 8192)), DownloadTarget::Ram);
    // The stop comes while the first chunk is on its way.
    int chunks = 0;
    rig.device->SetTransferHandler([&](std::span<const std::uint8_t> transfer) {
        if (transfer[0] == 0x01) {
            const std::uint8_t ok = 0x01;
            rig.device->Reply({&ok, 1});
        } else if (transfer[0] == 0x02 && ++chunks == 1) {
            rig.pipe->RequestStop();
        }
    });
    const pda::PdaRunOutcome outcome = rig.Run();
    EXPECT_EQ(Tail(rig.out.Calls(), 2), (Calls{T("\n\nRECORDDATA_STATE\t\t 1%"), "bar|close"}));
    EXPECT_EQ(outcome.finished.verdict, Verdict::Stopped);
}

// A missing single image aborts without a word; a list names its entry.
TEST(PdaDownloadFiles, UnreadableImageAborts) {
    for (const bool listed : {false, true}) {
        PdaRig rig;
        rig.Use(listed ? rig.WriteText("my.lst", "missing.bin\n") : rig.dir.File("missing.bin"),
                DownloadTarget::Ram);
        EXPECT_EQ(rig.Run().finished.verdict, Verdict::Failed);
        EXPECT_EQ(rig.out.Calls(),
                  listed ? Join({T("\n\nSIGNATURE_STATE"),
                                 "box|" + rig.dir.File("missing.bin") + "|File Open Error"},
                                kAbortedEnd)
                         : Calls{});
        EXPECT_TRUE(rig.emulator.Report().transcript.empty());
    }
}

struct TruncatedCase {
    std::size_t keep;
    const char* text;
    std::uint64_t chunksSent = 0; // whole chunks before the cut still go out
};

class PdaDownloadTruncated : public testing::TestWithParam<TruncatedCase> {};

TEST_P(PdaDownloadTruncated, ReadFailureNamesWhatWasCutShort) {
    PdaRig rig;
    pda::BootImagePlan layout = SmallImage(8192 + 100);
    layout.truncateAt = GetParam().keep;
    rig.Use(rig.WriteImage("nk.bin", layout), DownloadTarget::Ram);
    const pda::PdaRunOutcome outcome = rig.Run();
    EXPECT_EQ(Tail(rig.out.Calls(), 5), Join({T(GetParam().text)}, kAbortedEnd));
    EXPECT_EQ(outcome.finished.verdict, Verdict::Failed);
    EXPECT_FALSE(outcome.finished.reason.empty());
    const auto report = rig.emulator.Report();
    EXPECT_EQ(report.ram.empty() ? 0 : report.ram[0].chunks, GetParam().chunksSent);
}

INSTANTIATE_TEST_SUITE_P(
    Cuts, PdaDownloadTruncated,
    testing::Values(TruncatedCase{10, "\nError Reading Signature!\r\n"},
                    TruncatedCase{20, "\nError Reading Record header!"},
                    TruncatedCase{15 + 12 + 8192 + 50, "\nError Reading Record data!", 1},
                    TruncatedCase{15 + 12 + 8292 + 5, "\nError Reading Record header!", 2}));

TEST(PdaDownloadFiles, ImageAndListAreClosedOnEveryPath) {
    const std::size_t before = OpenFileCount();
    {
        PdaRig rig(Faults({.nakAtAnswer = 2}));
        rig.WriteImage("a.bin", SmallImage(100));
        rig.Use(rig.WriteText("l.lst", "a.bin\n"), DownloadTarget::Ram);
        rig.Run();
    }
    {
        PdaRig rig;
        pda::BootImagePlan layout = SmallImage(100);
        layout.truncateAt = 60;
        rig.WriteImage("a.bin", layout);
        rig.Use(rig.WriteText("l.lst", "a.bin\nb.bin\n"), DownloadTarget::Ram);
        rig.Run();
    }
    {
        PdaRig rig(Faults({.silentAtAnswer = 1}));
        rig.WriteImage("a.bin", SmallImage(100));
        rig.Use(rig.WriteText("l.lst", "a.bin\n"), DownloadTarget::Ram);
        std::thread run([&] { rig.Run(); });
        rig.device->WaitForHostReading();
        EXPECT_GE(OpenFileCount(), before + 2); // list and image open while it runs
        rig.pipe->RequestStop();
        run.join();
    }
    EXPECT_EQ(OpenFileCount(), before);
}

TEST(PdaDownloadFrontPanelFaults, FailureShowsAbortedDownloadOnThePanel) {
    PdaRig rig(Faults({.nakAtAnswer = 1}));
    rig.Use(rig.WriteImage("nk.bin", SmallImage(100)), DownloadTarget::Flash, true);
    rig.Run();
    EXPECT_EQ(rig.out.Calls(), (Calls{"1037|nk.bin", "1000|0", "1032|Aborted Download!",
                                      "1039|Reconnect Device to Retry!", "1136|case ERROR_STATE:",
                                      "1000|0", "1136|case EXIT_STATE:"}));
}

TEST(PdaDownloadFiles, PhonePathTooLongForItsFieldStopsTheHandOver) {
    PdaRig rig;
    rig.WriteImage("a.bin", SmallImage(100));
    const std::string longName(600, 'x');
    rig.Use(rig.WriteText("quill.lst", "a.bin\n-" + longName + ".fls\n"), DownloadTarget::Ram);
    const pda::PdaRunOutcome outcome = rig.Run();
    EXPECT_EQ(outcome.finished.verdict, Verdict::Failed);
    EXPECT_FALSE(outcome.handOver);
    EXPECT_EQ(rig.emulator.Report().transcript.back(), "LAST_DATA_IN_IMAGE");
}

// The check's digest must describe what went to the handset: an image that
// changed after the check, or while it was sent, fails the run with how.
TEST(PdaDownloadFiles, ImageChangedSinceTheCheckFailsTheRun) {
    const struct {
        bool whileSent;
        void (*change)(const std::string& image);
        const char* reason;
    } rows[] = {
        {false, [](const std::string& image) { WriteFile(image, "B000FF\n"); },
         "changed after it was checked (its size went from 24615 to 7 bytes)"},
        {false,
         [](const std::string& image) {
             std::filesystem::copy_file(image, image + ".new");
             std::filesystem::rename(image + ".new", image);
         },
         "changed after it was checked (another file took its place)"},
        // The same size, and a time of last write set back: only the write
        // shows (an editor that keeps the times leaves this).
        {true,
         [](const std::string& image) {
             std::FILE* file = std::fopen(image.c_str(), "r+b");
             std::fseek(file, 100, SEEK_SET);
             std::fputc(0x5a, file);
             std::fclose(file);
             const timespec times[2] = {{0, UTIME_OMIT}, {1, 0}};
             ::utimensat(AT_FDCWD, image.c_str(), times, 0);
         },
         "changed while it was sent (it was written to)"},
    };
    for (const auto& row : rows) {
        PdaRig rig;
        const std::string image = rig.WriteImage("nk.bin", SmallImage(3 * 8192));
        rig.Use(image, DownloadTarget::Ram);
        const Result<pda::DownloadPlan> plan = pda::CheckDownloadPlan(image, {.wholeFiles = true});
        ASSERT_TRUE(plan) << plan.Error();
        rig.context.SetCheckedPlan(*plan);
        if (row.whileSent) {
            struct Port final : emulators::PdaDevicePort {
                explicit Port(emulators::InProcessUsbDevice& device) : device(device) {}
                void SendReply(std::span<const std::uint8_t> bytes,
                               std::chrono::milliseconds after) override {
                    device.Reply(bytes, after);
                }
                void LeaveBus() override { device.Disconnect(); }
                emulators::InProcessUsbDevice& device;
            };
            rig.device->SetTransferHandler(
                [&, changed = false](std::span<const std::uint8_t> transfer) mutable {
                    if (transfer[0] == 0x02 && !std::exchange(changed, true))
                        row.change(image);
                    Port port(*rig.device);
                    rig.emulator.OnTransfer(transfer, port);
                });
        } else {
            row.change(image);
        }
        const pda::PdaRunOutcome outcome = rig.Run();
        EXPECT_FALSE(outcome.Passed());
        EXPECT_NE(outcome.finished.reason.find(row.reason), std::string::npos)
            << outcome.finished.reason;
    }
}

} // namespace
} // namespace marlow::test
