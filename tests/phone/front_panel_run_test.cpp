// What the front panel's phone engine does differently: its texts, the boot
// watchdog with one re-boot, and reports dropped while the modem first boots.

#include "phone_engine_fixture.h"

namespace marlow::phone::test {
namespace {

using ::testing::ElementsAre;

TEST_F(PhoneEngineTest, PanelSuccessShowsTheStatusTextsInOrder) {
    StartRun(PhoneOwner::FrontPanel);
    PlugPhone();
    for (int part = 0; part < 5; ++part)
        Report(IFWD_DL_OK);

    EXPECT_THAT(out.On("1032"),
                ElementsAre("Wait For Phone USB...", "Please wait...", "Booting...",
                            "Phone USB Connected...", "Downloading PSI", "Downloading SLB",
                            "Downloading FLS", "Downloading EEPROM", "Success", "Done", "Ready",
                            "Phone Download Successfully!"));
    EXPECT_THAT(out.On("1037"), ElementsAre("psi.flb", "slb.flb", "modem.fls", "modem.eep", ""));
    const std::vector<std::string> shown = out.Calls();
    const std::vector<std::string> tail(shown.end() - 2, shown.end());
    EXPECT_THAT(tail, ElementsAre("end|Succeeded",
                                  "box|PDA & Phone Download Successfully~!!|Download Complete!!"));
    EXPECT_EQ(out.Count("1136|Phone Download Successfully!"), 1);
    EXPECT_EQ(out.Count("1039|Bye!"), 1);
    EXPECT_THAT(calls,
                ElementsAre("stop PortPoll", "start PortPoll 10", "stop PortPoll", "pause 250",
                            "open 1 /dev/ttyACM3 460800", "start BootWatchdog 1000",
                            "boot 1 " + File("modem.fls"), "stop BootWatchdog",
                            "fls 1 " + File("psi.flb"), "fls 1 " + File("slb.flb"),
                            "fls 1 " + File("modem.fls"), "eep 1 " + File("modem.eep") + " 0",
                            "end of process 1", "abort 1", "pause 100", "close 1"));
}

// The first boot's errors and progress are left to the watchdog; the PSI
// loader's error has nothing else to end the run.
TEST_F(PhoneEngineTest, PanelDropsWhatTheFirstBootReportsButNoErrorAfter) {
    RunInState(stBooting, PhoneOwner::FrontPanel);
    Report(IFWD_DL_Error, "boot noise");
    Report(IFWD_DL_Progress, "12");
    EXPECT_TRUE(out.Calls().empty());
    EXPECT_EQ(engine->Inst().state, stBooting);
    Report(IFWD_DL_OK);
    ASSERT_EQ(engine->Inst().state, stDownloadPsi);
    Report(IFWD_DL_Progress, "40");
    EXPECT_EQ(engine->Inst().state, stDownloadPsi);
    ClearJournals();
    Report(IFWD_DL_Error, "PSI rejected");
    EXPECT_THAT(out.Calls(),
                ElementsAre("1032|Boot Failed", "1136|PSI rejected", "box|PSI rejected|",
                            "1136|Phone Downloaded Fail!", "1032|Phone Downloaded Fail!",
                            "1039|Retry!", "1037|", "end|Failed"));
    EXPECT_THAT(Ends(), ElementsAre(RunFinished{Verdict::Failed, "PSI rejected"}));
}

// One re-boot per start; after it, the boot's refusal or its silence ends
// the run with the reason, on the panel as in a command.
TEST_F(PhoneEngineTest, SilentBootIsRebootedOnceThenFailsForGood) {
    const std::string silent = "The modem answered neither its boot nor the one re-boot.";
    for (const char* refusal : {"Boot refused by the modem", ""}) {
        BootRun(PhoneOwner::FrontPanel);
        ASSERT_TRUE(clock.Running(PhoneTimer::BootWatchdog));
        ClearJournals();
        engine->WatchdogTick();

        EXPECT_THAT(calls, ElementsAre("stop BootWatchdog", "abort 1", "close 1",
                                       "open 1 /dev/ttyACM3 460800", "start BootWatchdog 5000",
                                       "boot 1 " + File("modem.fls")));
        EXPECT_THAT(out.Calls(),
                    ElementsAre("1032|Restart Download", "1136|stReBooting - Go!!", "1136|clear",
                                "1136|case stReBooting:", "1032|Booting..."));
        ASSERT_EQ(engine->Inst().state, stBooting);
        ClearJournals();
        if (*refusal != '\0')
            Report(IFWD_DL_Error, refusal);
        else
            engine->WatchdogTick();
        const std::string reason = *refusal != '\0' ? refusal : silent;
        EXPECT_EQ(engine->Inst().state, stIdle);
        EXPECT_EQ(out.Count("1032|Boot Failed"), 1);
        EXPECT_THAT(Ends(), ElementsAre(RunFinished{Verdict::Failed, reason})) << reason;
    }
}

// Nothing is left to move such a run on: it ends at once, failed.
TEST_F(PhoneEngineTest, RebootThatCannotReopenFailsTheRun) {
    BootRun(PhoneOwner::FrontPanel);
    library.results["open"] = 1;
    ClearJournals();
    engine->WatchdogTick();
    EXPECT_EQ(out.Count("1032|Can't open port - Retry"), 1);
    EXPECT_EQ(engine->Inst().state, stIdle);
    EXPECT_THAT(Ends(), ElementsAre(RunFinished{
                            Verdict::Failed, "The modem's port could not be opened again for the "
                                             "re-boot; reconnect the phone and start again."}));
}

TEST_F(PhoneEngineTest, WatchdogTickBetweenRunsDoesNothing) {
    MakeEngine(PhoneOwner::FrontPanel);
    GivePanelFiles();
    engine->WatchdogTick();
    EXPECT_THAT(calls, ElementsAre("stop BootWatchdog"));
    EXPECT_TRUE(out.Calls().empty());
    EXPECT_EQ(engine->Inst().state, stIdle);
}

TEST_F(PhoneEngineTest, PanelStopShowsReady) {
    RunInState(stDownloadFls, PhoneOwner::FrontPanel);
    engine->StopPanelRun();
    EXPECT_THAT(out.Calls(), ElementsAre("1032|Ready"));
    EXPECT_THAT(calls, ElementsAre("abort 1", "pause 100", "close 1", "stop PortPoll"));
}

} // namespace
} // namespace marlow::phone::test
