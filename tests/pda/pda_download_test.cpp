// Whole downloads through the boot loader emulator, compared call by call
// with what the operator sees in each presentation.

#include "support/pda_rig.h"

#include "pda/pda_protocol.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace marlow::test {
namespace {

using pda::DownloadTarget;
// The boot loader's transcript of one image of one record, up to its last
// command, and the operator's texts of a download that went through.
const Calls kOneRecordImage = {"ERASE_RAM_CMD", "RECORD_DATA_CMD x1", "LAST_DATA_IN_RECORD",
                               "LAST_DATA_IN_IMAGE"};
const Calls kDownloaded = {T("\n\nEXIT_STATE\n\n Downloaded to Device Successfully!"),
                           "status|Launching with the New Image...."};
const std::string kFlashBanner =
    "\n\n Transferred Data to RAM Successfully!\t\t\t\t\t\t                 \n\n|-----------------"
    "---[ Start Writing to Flash ]----------------------|\t\t\t\t\t\t\t\t\t\t \n            "
    "Waiting for Writing Flash!!!!             \t\t\t\t\t\t\t\t\t\t \n       - See the Debug "
    "Message Window for Writing State ! - \t\t\t\t\t\t\t\t\t\t \n|-------------------------"
    "------------------------------------------|";

// One image of one 100-byte record (file size 139) up to its reply 0x04, in
// main-window mode: 12 bytes done give 9 %, 112 give 81 %.
Calls MainWindowImage(const std::string& status) {
    return {T("\n\nIMAGEHEADER_STATE"),
            "debug|\nStart Address =[80000000]\n",
            "debug|\nImage Length=[00004096]\n",
            T("\nBefore ImageHeader Transfer \r\n"),
            T("\nAfter ImageHeader Transfer\r\n"),
            T("\nImageHeader Received\r\n"),
            "bar|create 0-100",
            status,
            T("\n\nRECORDHEADER_STATE"),
            T("\n\nRECORDDATA_STATE\t\t 9%"),
            "bar|81",
            T("\n\nRECORDDATA_STATE\t\t 81%"),
            T("\n\nRECORDHEADER_STATE"),
            "bar|0",
            T("\n\n m_pMainUsbView->CloseDownloadProgress() : XIPWriteComplete = 0 \n"),
            "bar|close",
            T("\n\nENDOFTRANSFER_STATE"),
            T("\nLaunch Address = 80001000"),
            "wait|show"};
}

TEST(PdaDownloadMainWindow, SingleImageToRamEndsWithDownloadDone) {
    PdaRig rig;
    rig.Use(rig.WriteImage("nk.bin", SmallImage(100)), DownloadTarget::Ram);

    const pda::PdaRunOutcome outcome = rig.Run();

    EXPECT_EQ(rig.out.Calls(),
              Join(MainWindowImage("status|Transferring [ nk.bin ] Image Data to RAM....."),
                   kDownloaded));
    EXPECT_TRUE(outcome.Passed());
    EXPECT_FALSE(outcome.handOver);
    EXPECT_TRUE(rig.pipe->Completed());

    const auto report = rig.emulator.Report();
    EXPECT_EQ(report.transcript, Join(kOneRecordImage, {"DOWNLOAD_DONE_CMD"}));
    EXPECT_EQ(report.violation, "");
    ASSERT_EQ(report.ram.size(), 1u);
    EXPECT_TRUE(report.flash.empty());
    EXPECT_EQ(report.ram[0].startAddress, 0x80000000u);
    EXPECT_EQ(report.ram[0].imageLength, 0x1000u);
    EXPECT_EQ(report.ram[0].launchAddress, 0x80001000u);
    ASSERT_EQ(report.ram[0].keptChunks.size(), 1u);
    EXPECT_EQ(report.ram[0].keptChunks[0].address, 0x80001000u);
    EXPECT_EQ(report.ram[0].keptChunks[0].bytes, SmallImage(100).records[0].data);
}

TEST(PdaDownloadMainWindow, StatusBarTellsOfTheFlashWriteFromNinetyNinePercentOn) {
    PdaRig rig;
    // 120 full chunks: the last two start at 99 % and 100 %.
    pda::BootImagePlan layout = SmallImage(120 * 8192);
    rig.Use(rig.WriteImage("nk.bin", layout), DownloadTarget::Flash);
    rig.Run();
    const Calls status = rig.out.Calls("status|");
    EXPECT_EQ(
        std::count(status.begin(), status.end(), "status|Writing [ nk.bin ] Image to FLASH....."),
        2);
}

TEST(PdaDownloadMainWindow, ListOfTwoImagesToFlashWritesFlashTwiceAndFinishesOnce) {
    PdaRig rig;
    rig.WriteImage("eboot.bin", SmallImage(100, 1, 1));
    rig.WriteImage("nk.bin", SmallImage(100, 1, 2));
    const std::string list = rig.WriteText("two.lst", "eboot.bin\n+nk.bin\n");
    rig.Use(list, DownloadTarget::Flash);

    rig.Run();

    const std::string dir = rig.dir.Path() + "/";
    // A list run sets no status after the image header: drop the placeholder.
    Calls expected = Join(
        {{T("\n\nSIGNATURE_STATE"), T("\n\nFile Name : " + dir + "eboot.bin"),
          "status|Transferring [ eboot.bin ] Image Data to RAM....."},
         MainWindowImage("status|never"),
         {T(kFlashBanner), "wait|close", T("\n\nSIGNATURE_STATE"),
          T("\n\nFile Name : " + dir + "nk.bin"),
          "status|Transferring [ nk.bin ] Image Data to RAM....."},
         MainWindowImage("status|never"),
         {T(kFlashBanner), "wait|close", T("\n\nSIGNATURE_STATE"),
          T("\n\n m_pMainUsbView->CloseDownloadProgress() : XIPWriteComplete = 1 \n"), "bar|close"},
         kDownloaded});
    expected.erase(std::remove(expected.begin(), expected.end(), "status|never"), expected.end());
    EXPECT_EQ(rig.out.Calls(), expected);

    const auto report = rig.emulator.Report();
    const Calls oneImage = Join(kOneRecordImage, {"WRITE_FLSH_CMD"});
    EXPECT_EQ(report.transcript, Join({oneImage, oneImage, {"DOWNLOAD_DONE_CMD"}}));
    ASSERT_EQ(report.flash.size(), 2u);
    EXPECT_NE(report.flash[0].digest, report.flash[1].digest);
    EXPECT_TRUE(rig.pipe->Completed());
}

TEST(PdaDownloadMainWindow, ListEndingInPhoneGroupHandsOverToThePhone) {
    PdaRig rig;
    rig.WriteImage("eboot.bin", SmallImage(100));
    const std::string list = rig.WriteText(
        "quill.lst", "eboot.bin\n-psi.flb\nslb.flb\nmodem.fls\nmodem.eep\nextra.bin\n");
    rig.Use(list, DownloadTarget::Ram);

    const pda::PdaRunOutcome outcome = rig.Run();

    EXPECT_TRUE(outcome.Passed());
    EXPECT_EQ(rig.emulator.Report().transcript, Join(kOneRecordImage, {"PHONE_DOWN_CMD"}));
    ASSERT_TRUE(outcome.handOver); // the phone's part remains
    const std::string dir = rig.dir.Path() + "/";
    const phone::PhoneFileSet& files = outcome.handOver->listFiles;
    EXPECT_EQ(files[phone::PhoneFileRole::PsiLoader].path, dir + "psi.flb");
    EXPECT_EQ(files[phone::PhoneFileRole::SecondStageLoader].path, dir + "slb.flb");
    EXPECT_EQ(files[phone::PhoneFileRole::Firmware].path, dir + "modem.fls");
    EXPECT_EQ(files[phone::PhoneFileRole::Eeprom].path, dir + "modem.eep");
    EXPECT_EQ(files[phone::PhoneFileRole::Eeprom].displayName, "modem.eep");

    const Calls calls = rig.out.Calls();
    EXPECT_EQ(Tail(calls, 9),
              Join({"wait|show", T("\n\nSIGNATURE_STATE"),
                    T("\n\n m_pMainUsbView->CloseDownloadProgress() : XIPWriteComplete = 1 \n"),
                    "bar|close", T("\n\n if(XIPWriteComplete) \n"), T("\n PHONEDOWN_STATE: \n"),
                    T("\n if(dwWritten) \n")},
                   kDownloaded));
}

TEST(PdaDownloadMainWindow, PhoneOptionWithSingleImageSendsPhoneDown) {
    PdaRig rig;
    rig.Use(rig.WriteImage("nk.bin", SmallImage(100)), DownloadTarget::Ram, false, true);

    const pda::PdaRunOutcome outcome = rig.Run();

    EXPECT_EQ(rig.emulator.Report().transcript, Join(kOneRecordImage, {"PHONE_DOWN_CMD"}));
    const Calls calls = rig.out.Calls();
    EXPECT_EQ(Tail(calls, 6), Join({"wait|show", T("\n if(g_AllDownLoad != TRUE) \n"),
                                    T("\n PHONEDOWN_STATE: \n"), T("\n if(dwWritten) \n")},
                                   kDownloaded));
    EXPECT_EQ(outcome.handOver, pda::HandOver{}); // no file named, none known to the pipe
    EXPECT_TRUE(rig.pipe->Completed());
}

TEST(PdaDownloadMainWindow, RecordsLongerThanAChunkGoOutInChunksOf8192) {
    PdaRig rig;
    // One chunk more than the download reads ahead at a time, the last of one
    // byte; a stamp after the end record is never read.
    const std::uint32_t length = pda::kRecordDataBatch * 8192 + 1;
    pda::BootImagePlan layout = SmallImage(length, 2);
    layout.trailing = std::vector<std::uint8_t>(20, 'A');
    rig.Use(rig.WriteImage("nk.bin", layout), DownloadTarget::Ram);
    rig.Run();
    const auto report = rig.emulator.Report();
    const std::string run = "RECORD_DATA_CMD x" + std::to_string(pda::kRecordDataBatch + 1);
    EXPECT_EQ(report.transcript,
              (Calls{"ERASE_RAM_CMD", run, "LAST_DATA_IN_RECORD", run, "LAST_DATA_IN_RECORD",
                     "LAST_DATA_IN_IMAGE", "DOWNLOAD_DONE_CMD"}));
    ASSERT_EQ(report.ram.size(), 1u);
    const auto& chunks = report.ram[0].keptChunks;
    ASSERT_EQ(chunks.size(), 2 * (pda::kRecordDataBatch + 1));
    EXPECT_EQ(chunks[pda::kRecordDataBatch].address, 0x80001000u + length - 1);
    EXPECT_EQ(chunks[pda::kRecordDataBatch].bytes.size(), 1u);
    EXPECT_EQ(chunks[pda::kRecordDataBatch + 1].address, 0x80001000u + length);
    std::vector<std::uint8_t> second;
    for (std::size_t i = pda::kRecordDataBatch + 1; i < chunks.size(); ++i)
        second.insert(second.end(), chunks[i].bytes.begin(), chunks[i].bytes.end());
    EXPECT_EQ(second, layout.records[1].data);
}

TEST(PdaDownloadMainWindow, DeviceLeavingRightAfterDownloadDoneStillEndsWithSuccessTexts) {
    PdaRig rig;
    rig.Use(rig.WriteImage("nk.bin", SmallImage(100)), DownloadTarget::Ram);
    // A boot loader that answers everything and re-enumerates at once: the
    // watcher's stop request for that removal lands before the final visit.
    rig.device->SetTransferHandler([&](std::span<const std::uint8_t> transfer) {
        const std::uint8_t code = transfer[0];
        if (code == 0x01 || code == 0x03 || code == 0x04)
            rig.device->Reply({&code, 1});
        if (code == 0x06)
            rig.pipe->RequestStop();
    });
    const pda::PdaRunOutcome outcome = rig.Run();
    EXPECT_TRUE(outcome.Passed());
    EXPECT_EQ(Tail(rig.out.Calls(), 2), kDownloaded);
}

// ---------------------------------------------------------------------------
// Front panel

TEST(PdaDownloadFrontPanel, SingleImageToFlashShowsPanelTextsOnly) {
    PdaRig rig;
    rig.Use(rig.WriteImage("nk.bin", SmallImage(100)), DownloadTarget::Flash, true);

    rig.Run();

    EXPECT_EQ(rig.out.Calls(), (Calls{"1037|nk.bin", "1000|range 0-100", "1032|Downloading...",
                                      "1029|enable", "1039|9%", "1039|81%", "1000|81", "1000|0",
                                      "1000|0", "1032|Waiting for Installing...", "1039|", "1000|0",
                                      "1136|case EXIT_STATE:"}));
    EXPECT_FALSE(rig.context.flashWriting);
}

// Only the list's own name gives the counter its fixed total; any other name
// raises "Invalid File Type." at each image, which still downloads.
TEST(PdaDownloadFrontPanel, ListCountsImagesAgainstTheListsFixedTotalUnderItsOwnNameOnly) {
    for (const bool ownName : {true, false}) {
        SCOPED_TRACE(ownName);
        PdaRig rig;
        rig.WriteImage("a.bin", SmallImage(100));
        rig.WriteImage("b.bin", SmallImage(100));
        rig.Use(rig.WriteText(ownName ? "quill.lst" : "QUILL.LST", "a.bin\nb.bin\n"),
                DownloadTarget::Flash, true);
        EXPECT_TRUE(rig.Run().Passed());
        const Calls box = {"box|Invalid File Type.|", "box|Invalid File Type.|"};
        EXPECT_EQ(rig.out.Calls("box|"), ownName ? Calls{} : box);
        EXPECT_EQ(rig.out.Calls("1069|"),
                  ownName ? (Calls{"1069|1 / 6", "1069|2 / 6"}) : (Calls{"1069|", "1069|"}));
        EXPECT_EQ(rig.emulator.Report().flash.size(), 2u);
    }
}

TEST(PdaDownloadFrontPanel, PhoneGroupHandsOverAfterPhoneDown) {
    PdaRig rig;
    rig.WriteImage("a.bin", SmallImage(100));
    rig.Use(rig.WriteText("quill_all.lst", "a.bin\n-psi.flb\n-slb.flb\n"), DownloadTarget::Flash,
            true);
    EXPECT_TRUE(rig.Run().handOver);
    EXPECT_EQ(rig.out.Calls("1136|"),
              (Calls{"1136|Phone File Load Start~!!", "1136|psi.flb File Loading OK!!",
                     "1136|No Match File Error!!",
                     "1136|case PHONEDOWN_STATE:", "1136|case EXIT_STATE:"}));
    EXPECT_EQ(rig.out.Calls("1069|"), (Calls{"1069|1 / 7"}));
}

TEST(PdaDownloadEvents, OneImageToRamIsTheseFactsInThisOrder) {
    PdaRig rig;
    // File of 1000 bytes: 15 + 12 + 961 + 12 (end record); the percent
    // rule gives 2 % before the record's data and 98 % after.
    const std::string path = rig.WriteImage("nk.bin", SmallImage(961));
    rig.Use(path, DownloadTarget::Ram);
    rig.Run();

    using namespace pda;
    using S = PdaState;
    std::vector<PdaEvent> shown;
    for (const PdaEvent& event : rig.out.Events())
        if (!std::holds_alternative<DeviceAnswered>(event))
            shown.push_back(event);
    const std::string nk = "nk.bin";
    const std::vector<PdaEvent> expected = {
        ImageOpened{path, nk, false},
        StateEntered{S::IMAGEHEADER_STATE, 0, nk},
        ImageStarted{1, nk, false, 0},
        HeaderRead{0x80000000, 0x1000},
        ImageHeaderSending{},
        ImageHeaderSent{},
        ReplyAwaited{PdaCommand::ERASE_RAM_CMD, ReplyResult::Received},
        TransferStarted{nk, false},
        StateEntered{S::RECORDHEADER_STATE, 1, nk},
        StateVisited{S::RECORDHEADER_STATE},
        StateEntered{S::RECORDDATA_STATE, 1, nk},
        RecordStarted{2},
        PercentReached{1, nk, 98},
        ReplyAwaited{PdaCommand::LAST_DATA_IN_RECORD, ReplyResult::Received},
        StateEntered{S::RECORDHEADER_STATE, 1, nk},
        StateVisited{S::RECORDHEADER_STATE},
        EndRecordRead{0x80001000},
        StateEntered{S::ENDOFTRANSFER_STATE, 1, nk},
        TransferEnding{false},
        ImageEndSending{0x80001000},
        ImageEndSent{},
        ReplyAwaited{PdaCommand::LAST_DATA_IN_IMAGE, ReplyResult::Received},
        StateEntered{S::EXIT_STATE, 1, nk},
        StateVisited{S::EXIT_STATE, false},
        RunFinished{Verdict::Passed, ""},
    };
    ASSERT_EQ(shown.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i)
        EXPECT_EQ(pda::DescribeEvent(shown[i]), pda::DescribeEvent(expected[i])) << i;
}

} // namespace
} // namespace marlow::test
