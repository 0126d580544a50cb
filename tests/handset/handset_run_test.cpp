#include "handset/handset_run.h"

#include <gtest/gtest.h>

namespace marlow::handset {
namespace {

using phone::PhoneFileRole;

pda::PdaRunOutcome Passed(std::optional<pda::HandOver> handOver = std::nullopt) {
    return {.finished = {Verdict::Passed, {}}, .handOver = std::move(handOver)};
}

pda::HandOver FirmwareOn(const std::string& usbPortPath) {
    pda::HandOver handOver;
    handOver.listFiles[PhoneFileRole::Firmware] = {"modem.fls", "/lists/modem.fls"};
    handOver.usbPortPath = usbPortPath;
    return handOver;
}

// What follows a PDA half, for each choice of halves and each way it ended.
TEST(HandsetRun, ThePhoneHalfFollowsAHandOverAndNothingElse) {
    struct Row {
        const char* what;
        RunMode mode;
        pda::PdaRunOutcome outcome;
        AfterPda after;
        int downSelect; // m_DownSelect as the PDA half leaves it
        bool allDownLoad;
        bool phoneOption; // the PDA half is told to hand over
    };
    const Row rows[] = {
        {"an image alone", RunMode::PdaOnly, Passed(), AfterPda::Done, 1, true, false},
        {"a list's phone group", RunMode::PdaOnly, Passed(FirmwareOn("1-4")), AfterPda::PhoneHalf,
         2, true, false},
        {"a Total run", RunMode::Total, Passed(FirmwareOn("")), AfterPda::PhoneHalf, 2, true, true},
        {"a Total run not handed over", RunMode::Total, Passed(), AfterPda::NotHandedOver, 1, false,
         true},
        {"a failed Total run",
         RunMode::Total,
         {.finished = {Verdict::Failed, "NAK"}, .handOver = std::nullopt},
         AfterPda::NotHandedOver,
         1,
         false,
         true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        HandsetRun run;
        run.Begin(RunMode::Total);
        run.PdaHalfEnded(Passed(FirmwareOn("9-9"))); // an earlier run's is forgotten
        run.End();
        run.Begin(row.mode);
        EXPECT_EQ(run.PdaSettingsFor({}).phoneOption, row.phoneOption);
        EXPECT_EQ(run.PdaHalfEnded(row.outcome), row.outcome.handOver.has_value());
        EXPECT_EQ(run.m_DownSelect, row.downSelect);
        EXPECT_EQ(run.g_AllDownLoad, row.allDownLoad);
        EXPECT_EQ(run.PdaHandsetLeft(), row.after);
        EXPECT_EQ(run.HandOverPort(),
                  row.outcome.handOver ? row.outcome.handOver->usbPortPath : "");
        run.End();
        EXPECT_FALSE(run.PdaHalfSelected() || run.PhoneHalfSelected() || run.PhoneHalfPlanned());
    }
}

// The list's phone group replaces the roles it names; the rest is kept.
TEST(HandsetRun, HandedOverFilesReplaceOnlyTheRolesTheyName) {
    HandsetRun run;
    run.Begin(RunMode::Total);
    run.PdaHalfEnded(Passed(FirmwareOn("1-4")));
    phone::PhoneFileSet held;
    held[PhoneFileRole::Firmware] = {"old.fls", "/package/old.fls"};
    held[PhoneFileRole::Eeprom] = {"modem.eep", "/package/modem.eep"};
    run.TakeHandedOverFiles(held);
    EXPECT_EQ(held[PhoneFileRole::Firmware].path, "/lists/modem.fls");
    EXPECT_EQ(held[PhoneFileRole::Eeprom].path, "/package/modem.eep");
    EXPECT_TRUE(held[PhoneFileRole::PsiLoader].path.empty());
}

} // namespace
} // namespace marlow::handset
