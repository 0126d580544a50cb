// The main window's phone run: start, port wait, the five parts, success,
// failure in each state, cancel.

#include "phone_engine_fixture.h"

#include <algorithm>

namespace marlow::phone::test {
namespace {

using ::testing::ElementsAre;

TEST_F(PhoneEngineTest, EveryPartDoneEndsWithSuccessAfterEndAbortClose) {
    StartRun(PhoneOwner::MainWindow);
    PlugPhone();
    std::vector<PhoneState> states{engine->Inst().state};
    for (int part = 0; part < 5; ++part) {
        Report(IFWD_DL_OK);
        states.push_back(engine->Inst().state);
    }

    EXPECT_THAT(states, ElementsAre(stBooting, stDownloadPsi, stDownloadSlb, stDownloadFls,
                                    stDownloadEep, stIdle));
    EXPECT_THAT(calls,
                ElementsAre("start PortPoll 10", "stop PortPoll", "open 1 /dev/ttyACM3 460800",
                            "boot 1 " + File("modem.fls"), "fls 1 " + File("psi.flb"),
                            "fls 1 " + File("slb.flb"), "fls 1 " + File("modem.fls"),
                            "eep 1 " + File("modem.eep") + " 0", "end of process 1", "abort 1",
                            "pause 100", "close 1", "stop PortPoll"));
    EXPECT_THAT(
        out.Calls(),
        ElementsAre("trace|\n psi.flb File Loading OK!!\n", "trace|\n slb.flb File Loading OK!!\n",
                    "trace|\n *.flb File Loading OK!!\n", "trace|\n *.eep File Loading OK!! \n",
                    "trace|\n Wait For Phone USB... \n", "bar|create 0-100",
                    "trace|Check Phone USB", "clear", "bar|0",
                    "trace|\n Current Download = psi.flb \n", "bar|0",
                    "trace|\n Current Download = slb.flb \n", "bar|0",
                    "trace|\n Current Download = modem.fls \n", "bar|0",
                    "trace|\n Current Download = modem.eep \n",
                    "trace|\n Phone Downloaded Successfully! \n", "bar|close",
                    "debug|\n Phone Downloaded Successfully! \n", "end|Succeeded"));
    EXPECT_FALSE(engine->PhoneRunning());
    EXPECT_FALSE(engine->Inst().port_open);
}

TEST_F(PhoneEngineTest, StartAfterPdaDownloadSaysSoBeforeWaiting) {
    MakeEngine(PhoneOwner::MainWindow);
    ASSERT_TRUE(engine->StartMainWindowRun(File("modem.brx"), PhoneStart::AfterPdaDownload));
    const auto trace = out.On("trace");
    ASSERT_GE(trace.size(), 2u);
    EXPECT_EQ(trace[trace.size() - 2], "\n Phone Download Start! \n");
    EXPECT_EQ(trace.back(), "\n Wait For Phone USB... \n");
}

// Progress moves the bar, an unknown code shows nothing; neither moves the run.
TEST_F(PhoneEngineTest, ProgressAndUnknownReportsLeaveTheStateAlone) {
    const std::tuple<PhoneOwner, std::uint32_t, std::vector<std::string>> rows[] = {
        {PhoneOwner::MainWindow, IFWD_DL_Progress, {"bar|57"}},
        {PhoneOwner::FrontPanel, IFWD_DL_Progress, {"1000|57", "1039|57%"}},
        {PhoneOwner::MainWindow, 7, {}},
    };
    for (const auto& [owner, code, lines] : rows) {
        RunInState(stDownloadFls, owner);
        Report(code, "57");
        EXPECT_EQ(out.Calls(), lines);
        EXPECT_EQ(engine->Inst().state, stDownloadFls);
        EXPECT_TRUE(calls.empty());
    }
}

struct ErrorCase {
    PhoneState state;
    const char* label;
};

class ErrorInEachState : public PhoneEngineTest, public ::testing::WithParamInterface<ErrorCase> {};

TEST_P(ErrorInEachState, FailsWithTheStatesLabelAndReleasesThePort) {
    RunInState(GetParam().state);
    Report(IFWD_DL_Error, "Flash verify error");

    EXPECT_THAT(out.Calls(),
                ElementsAre("trace|case IFWD_DL_Error:", std::string("trace|") + GetParam().label,
                            "trace|\n", "trace|Flash verify error", "box|Flash verify error|",
                            "trace|\n Phone Downloaded Fail! \n", "end|Failed"));
    EXPECT_THAT(calls, ElementsAre("close 1"));
    EXPECT_EQ(engine->Inst().state, stIdle);
    // The main window's operator ends a failed run with cancel.
    EXPECT_TRUE(engine->PhoneRunning());
}

INSTANTIATE_TEST_SUITE_P(Labels, ErrorInEachState,
                         ::testing::Values(ErrorCase{stBooting, "Boot Failed"},
                                           ErrorCase{stDownloadPsi, "Boot Failed"},
                                           ErrorCase{stDownloadSlb, "Boot Failed"},
                                           ErrorCase{stDownloadFls, "Failed (EEP)"},
                                           ErrorCase{stDownloadEep, "Failed (EEP)"}));

// A library call that refuses (or throws) ends the run with the library's
// text and leaves the port closed.
struct RefusedCall {
    const char* name;
    PhoneOwner owner;
    std::string entry; // the refusing entry point, as the fake library names it
    const char* text;  // its status text; none makes it throw
    std::vector<std::string> lines;
};

class RefusedCallTest : public PhoneEngineTest,
                        public ::testing::WithParamInterface<RefusedCall> {};

TEST_P(RefusedCallTest, FailsTheRunOnceWithTheLibrarysText) {
    const RefusedCall& row = GetParam();
    StartRun(row.owner);
    library.openThrows = row.text == nullptr;
    library.results[row.entry] = 1;
    library.statusTexts[row.entry] = row.text ? row.text : "";
    ClearJournals();
    PlugPhone();
    if (engine->Inst().state == stBooting)
        Report(IFWD_DL_OK);
    EXPECT_EQ(out.Calls(), row.lines);
    EXPECT_EQ(engine->Inst().state, stIdle);
    EXPECT_FALSE(engine->Inst().port_open);
}

INSTANTIATE_TEST_SUITE_P(
    EachCall, RefusedCallTest,
    ::testing::Values(
        RefusedCall{"Open",
                    PhoneOwner::MainWindow,
                    "open",
                    "Port busy",
                    {"trace|Check Phone USB", "clear", "trace|\n", "trace|Port busy", "trace|\n",
                     "trace|if(!OpenPort(inst))", "end|Failed"}},
        RefusedCall{"OpenThrows",
                    PhoneOwner::MainWindow,
                    "open",
                    nullptr,
                    {"trace|Check Phone USB", "clear", "trace|if(!OpenPort(inst))", "end|Failed"}},
        RefusedCall{"PanelOpen",
                    PhoneOwner::FrontPanel,
                    "open",
                    "Port busy",
                    {"1136|clear", "1032|Please wait...", "1136|Port busy", "1032|Can't open port",
                     "1032|Phone USB Connected..."}},
        RefusedCall{"Boot",
                    PhoneOwner::MainWindow,
                    "boot",
                    "No modem answer",
                    {"trace|Check Phone USB", "clear", "trace|\n Error - Test \n",
                     "trace|Boot Failed", "trace|\n", "trace|No modem answer",
                     "box|No modem answer|", "trace|\n Phone Downloaded Fail! \n", "end|Failed"}},
        RefusedCall{"Psi",
                    PhoneOwner::MainWindow,
                    "fls psi.flb",
                    "File rejected",
                    {"trace|Check Phone USB", "clear", "bar|0",
                     "trace|\n Current Download = psi.flb \n", "trace|\n Error \n",
                     "trace|Boot Failed", "trace|\n", "trace|File rejected", "box|File rejected|",
                     "trace|\n Phone Downloaded Fail! \n", "end|Failed"}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(PhoneEngineTest, ErrorWithoutTextFailsWithItsOwnTextNotAStaleOne) {
    BootRun();
    AdvanceTo(stDownloadFls);
    Report(IFWD_DL_Progress, "57");
    ClearJournals();
    Report(IFWD_DL_Error, nullptr);
    EXPECT_EQ(out.Count("box|57|"), 0);
    EXPECT_EQ(out.Count("box|The modem download library reported a failure without "
                        "saying why.|"),
              1);
    EXPECT_EQ(out.Count("trace|Failed (EEP)"), 1);
}

TEST_F(PhoneEngineTest, CancelWhileWaitingCallsNoLibrary) {
    StartRun(PhoneOwner::MainWindow);
    engine->PollPort(); // no port yet
    ClearJournals();
    engine->CancelMainWindowRun();

    EXPECT_THAT(out.Calls(), ElementsAre("trace|\n DownCancel \n"));
    EXPECT_THAT(calls, ElementsAre("stop PortPoll"));
    EXPECT_FALSE(clock.Running(PhoneTimer::PortPoll));
    EXPECT_FALSE(engine->PhoneRunning());
    EXPECT_EQ(engine->PhoneUsbWait(), 0);
}

TEST_F(PhoneEngineTest, CancelWhileDownloadingAbortsPausesAndCloses) {
    RunInState(stDownloadSlb);
    engine->CancelMainWindowRun();
    EXPECT_THAT(calls, ElementsAre("abort 1", "pause 100", "close 1", "stop PortPoll"));
    EXPECT_THAT(out.Calls(), ElementsAre("trace|\n DownCancel \n"));
    EXPECT_EQ(engine->Inst().state, stIdle);
    EXPECT_FALSE(engine->Inst().port_open);
    EXPECT_THAT(Ends(), ElementsAre(RunFinished{Verdict::Stopped,
                                                "the operator cancelled the phone download"}));
}

TEST_F(PhoneEngineTest, LateReportAfterTheEndIsIgnored) {
    BootRun();
    AdvanceTo(stDownloadEep);
    Report(IFWD_DL_OK);
    ASSERT_EQ(out.ends, std::vector<PhoneRunEnd>{PhoneRunEnd::Succeeded});
    ClearJournals();
    Report(IFWD_DL_OK, "late");
    Report(IFWD_DL_Error, "late error");
    EXPECT_TRUE(calls.empty());
    // The handler still names the code it got; the idle engine does nothing with it.
    EXPECT_THAT(out.Calls(), ElementsAre("trace|case IFWD_DL_Error:"));
    EXPECT_EQ(engine->Inst().state, stIdle);
}

TEST_F(PhoneEngineTest, ReportIsIgnoredWhileThePhoneIsNotSelected) {
    BootRun();
    selected = false;
    ClearJournals();
    engine->ReceiveReport(1, IFWD_DL_OK, "");
    EXPECT_EQ(ownerThread.RunAll(), 1);
    EXPECT_TRUE(calls.empty());
    EXPECT_EQ(engine->Inst().state, stBooting);
    // The ignored report is not acted on later either.
    selected = true;
    EXPECT_FALSE(engine->HandleReportMessage());
    EXPECT_EQ(engine->Inst().state, stBooting);
}

TEST_F(PhoneEngineTest, StartWithoutPhoneSelectedOnlyTellsTheOperator) {
    MakeEngine(PhoneOwner::MainWindow);
    selected = false;
    EXPECT_FALSE(engine->StartMainWindowRun(File("modem.brx"), PhoneStart::Command));
    EXPECT_THAT(out.Calls(), ElementsAre("box|No Selected Phone!!  Retry to Select Phone!!!|"));
    EXPECT_FALSE(engine->PhoneRunning());
    EXPECT_FALSE(clock.Running(PhoneTimer::PortPoll));
}

TEST_F(PhoneEngineTest, MissingPackageStopsTheStart) {
    MakeEngine(PhoneOwner::MainWindow);
    EXPECT_FALSE(engine->StartMainWindowRun(File("absent.brx"), PhoneStart::Command));
    EXPECT_THAT(out.Calls(), ElementsAre("trace|\n Phone File Open Error... \n"));
    EXPECT_TRUE(engine->PhoneRunning());
    EXPECT_FALSE(clock.Running(PhoneTimer::PortPoll));
}

TEST_F(PhoneEngineTest, FailedCloseKeepsThePortOpenForTheNextRun) {
    BootRun();
    library.results["close"] = 1;
    Report(IFWD_DL_Error, "boot error");
    EXPECT_TRUE(engine->Inst().port_open);
    ClearJournals();
    engine->CancelMainWindowRun(); // after the verdict: no second end
    EXPECT_TRUE(Ends().empty());
    ASSERT_TRUE(engine->StartMainWindowRun(File("modem.brx"), PhoneStart::Command));
    engine->PollPort();
    // The port counts as open: no second open, straight to the boot.
    EXPECT_EQ(std::count(calls.begin(), calls.end(), "open 1 /dev/ttyACM3 460800"), 0);
    EXPECT_EQ(engine->Inst().state, stBooting);
}

TEST_F(PhoneEngineTest, ReportDuringEndOfProcessRunsDoneLastPart) {
    BootRun();
    AdvanceTo(stDownloadEep);
    // A library that reports the end of process at once, on the caller's thread.
    library.onEndOfProcess = [this] { engine->HandlePhoneEvent(EVT_DONE, ""); };
    ClearJournals();
    Report(IFWD_DL_OK);
    EXPECT_THAT(calls, ElementsAre("end of process 1", "close 1", "stop PortPoll"));
    EXPECT_EQ(out.Count("trace|\n done_last_part(TInst *inst) + \n"), 1);
    EXPECT_EQ(out.Count("trace|\n done_last_part(TInst *inst) - \n"), 1);
    EXPECT_EQ(out.Count("trace|\n Phone Downloaded Successfully! \n"), 1);
}

TEST_F(PhoneEngineTest, EngineGoingAwayReleasesAnOpenPort) {
    RunInState(stBooting);
    engine.reset();
    EXPECT_THAT(calls, ElementsAre("abort 1", "close 1"));
}

TEST_F(PhoneEngineTest, DoneQueuedBehindProgressIsNotLost) {
    BootRun();
    AdvanceTo(stDownloadPsi);
    // Both arrive before the owner's thread gets to either.
    engine->ReceiveReport(1, IFWD_DL_OK, "");
    engine->ReceiveReport(1, IFWD_DL_Progress, "5");
    ownerThread.RunAll();
    EXPECT_EQ(engine->Inst().state, stDownloadSlb);
    EXPECT_EQ(out.Calls().back(), "bar|5");
}

} // namespace
} // namespace marlow::phone::test
