// What the front panel's phone engine does differently: its texts, the boot
// watchdog with one re-boot, and reports dropped while the modem boots.

#include "phone_engine_fixture.h"

namespace marlow::phone::test {
namespace {

using ::testing::ElementsAre;

TEST_F(PhoneEngineTest, PanelSuccessShowsTheStatusTextsInOrder) {
    StartRun(PhoneOwner::FrontPanel);
    PlugPhone();
    for (int part = 0; part < 5; ++part)
        Report(IFWD_DL_OK);

    EXPECT_THAT(out.On("StatusLine"),
                ElementsAre("Wait For Phone USB...", "Please wait...", "Booting...",
                            "Phone USB Connected...", "Downloading PSI", "Downloading SLB",
                            "Downloading FLS", "Downloading EEPROM", "Success", "Done", "Ready",
                            "Phone Download Successfully!"));
    EXPECT_THAT(out.On("CurrentFile"),
                ElementsAre("psi.flb", "slb.flb", "modem.fls", "modem.eep", ""));
    const std::vector<std::string> tail(out.lines.end() - 2, out.lines.end());
    EXPECT_THAT(tail, ElementsAre("run ended: Succeeded",
                                  "message box: PDA & Phone Download Successfully~!! [Download "
                                  "Complete!!]"));
    EXPECT_EQ(out.Count("LogList: Phone Download Successfully!"), 1);
    EXPECT_EQ(out.Count("PercentLabel: Bye!"), 1);
    EXPECT_TRUE(allDownLoad);
    EXPECT_THAT(calls,
                ElementsAre("stop PortPoll", "start PortPoll 10", "stop PortPoll", "pause 250",
                            "open 1 /dev/ttyACM3 460800", "start BootWatchdog 1000",
                            "boot 1 " + File("modem.fls"), "stop BootWatchdog",
                            "fls 1 " + File("psi.flb"), "fls 1 " + File("slb.flb"),
                            "fls 1 " + File("modem.fls"), "eep 1 " + File("modem.eep") + " 0",
                            "end of process 1", "abort 1", "pause 100", "close 1"));
}

TEST_F(PhoneEngineTest, PanelDropsErrorsAndProgressWhileBooting) {
    BootRun(PhoneOwner::FrontPanel);
    ClearJournals();
    Report(IFWD_DL_Error, "boot noise");
    Report(IFWD_DL_Progress, "12");
    EXPECT_TRUE(out.lines.empty());
    EXPECT_EQ(engine->Inst().state, stBooting);
    Report(IFWD_DL_OK);
    ASSERT_EQ(engine->Inst().state, stDownloadPsi);
    Report(IFWD_DL_Error, "psi noise");
    EXPECT_EQ(engine->Inst().state, stDownloadPsi);
    EXPECT_TRUE(out.ends.empty());
}

TEST_F(PhoneEngineTest, PanelErrorAfterPsiFailsWithItsDisplay) {
    BootRun(PhoneOwner::FrontPanel);
    AdvanceTo(stDownloadSlb);
    ClearJournals();
    Report(IFWD_DL_Error, "SLB rejected");
    EXPECT_THAT(out.lines,
                ElementsAre("StatusLine: Boot Failed", "LogList: SLB rejected",
                            "message box: SLB rejected", "LogList: Phone Downloaded Fail!",
                            "StatusLine: Phone Downloaded Fail!", "PercentLabel: Retry!",
                            "CurrentFile: ", "run ended: Failed"));
    EXPECT_TRUE(allDownLoad);
}

TEST_F(PhoneEngineTest, SilentBootIsRebootedOnceThenWaits) {
    BootRun(PhoneOwner::FrontPanel);
    ASSERT_TRUE(clock.Running(PhoneTimer::BootWatchdog));
    ClearJournals();
    engine->WatchdogTick();

    EXPECT_THAT(calls, ElementsAre("stop BootWatchdog", "abort 1", "close 1",
                                   "open 1 /dev/ttyACM3 460800", "boot 1 " + File("modem.fls")));
    EXPECT_THAT(out.lines, ElementsAre("StatusLine: Restart Download",
                                       "LogList: stReBooting - Go!!", "clear LogList",
                                       "LogList: case stReBooting:", "StatusLine: Booting..."));
    EXPECT_EQ(engine->Inst().state, stBooting);
    // No second watchdog: the re-booted modem is waited for until Stop.
    EXPECT_FALSE(clock.Running(PhoneTimer::BootWatchdog));
    EXPECT_EQ(clock.Starts(PhoneTimer::BootWatchdog), 1);
}

TEST_F(PhoneEngineTest, RebootThatCannotReopenWaitsForStop) {
    BootRun(PhoneOwner::FrontPanel);
    library.results["open"] = 1;
    ClearJournals();
    engine->WatchdogTick();
    EXPECT_EQ(engine->Inst().state, stReBooting);
    EXPECT_EQ(out.On("StatusLine").back(), "Can't open port - Retry");
    ClearJournals();
    engine->StopPanelRun();
    EXPECT_THAT(calls, ElementsAre("abort 1", "pause 100", "stop PortPoll"));
    EXPECT_EQ(engine->Inst().state, stIdle);
    EXPECT_THAT(Ends(), ElementsAre(RunFinished{Verdict::Stopped,
                                                "the operator stopped the phone download"}));
}

TEST_F(PhoneEngineTest, WatchdogTickBetweenRunsDoesNothing) {
    MakeEngine(PhoneOwner::FrontPanel);
    GivePanelFiles();
    engine->WatchdogTick();
    EXPECT_THAT(calls, ElementsAre("stop BootWatchdog"));
    EXPECT_TRUE(out.lines.empty());
    EXPECT_EQ(engine->Inst().state, stIdle);
}

TEST_F(PhoneEngineTest, PanelStopShowsReady) {
    BootRun(PhoneOwner::FrontPanel);
    AdvanceTo(stDownloadFls);
    ClearJournals();
    engine->StopPanelRun();
    EXPECT_THAT(out.lines, ElementsAre("StatusLine: Ready"));
    EXPECT_THAT(calls, ElementsAre("abort 1", "pause 100", "close 1", "stop PortPoll"));
}

} // namespace
} // namespace marlow::phone::test
