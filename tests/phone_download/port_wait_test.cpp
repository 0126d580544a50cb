// The port wait of both owners: one poll per tick, counted exactly.

#include "phone_engine_fixture.h"

#include <algorithm>

namespace marlow::phone::test {
namespace {

using ::testing::ElementsAre;

// Polls while the engine keeps its poll timer running; returns how many ran.
int PollUntilTheWaitEnds(PhoneEngine& engine, FakeClock& clock, int atMost) {
    int polls = 0;
    while (clock.Running(PhoneTimer::PortPoll) && polls < atMost) {
        engine.PollPort();
        ++polls;
    }
    return polls;
}

TEST_F(PhoneEngineTest, MainWindowGivesUpOnThe3001stPoll) {
    MakeEngine(PhoneOwner::MainWindow);
    ASSERT_TRUE(engine->StartMainWindowRun(File("modem.brx"), PhoneStart::Command));
    ClearJournals();
    EXPECT_EQ(PollUntilTheWaitEnds(*engine, clock, 10000), 3001);
    EXPECT_EQ(ports.scans, 3001);
    EXPECT_EQ(out.Count("DeviceState: if(!m_PhoneUsbWait)"), 1);
    EXPECT_EQ(out.Count("DeviceState: Phone USB Connecting..."), 1);
    EXPECT_EQ(out.Count("DeviceState: Phone USB is not Connected..."), 1);
    EXPECT_EQ(out.ends, std::vector<PhoneRunEnd>{PhoneRunEnd::PortNotFound});
    EXPECT_EQ(engine->PhoneUsbWait(), 0);
    EXPECT_TRUE(library.receiver != nullptr);
    EXPECT_EQ(std::count(calls.begin(), calls.end(), "start PortPoll 10"), 3000);
}

TEST_F(PhoneEngineTest, MainWindowPortFoundOnThe3000thPollStillStarts) {
    MakeEngine(PhoneOwner::MainWindow);
    ASSERT_TRUE(engine->StartMainWindowRun(File("modem.brx"), PhoneStart::Command));
    for (int poll = 1; poll < 3000; ++poll)
        engine->PollPort();
    ports.names = {"ACM3"};
    engine->PollPort();
    EXPECT_EQ(engine->Inst().state, stBooting);
    EXPECT_EQ(out.Count("DeviceState: Phone USB is not Connected..."), 0);
    EXPECT_EQ(engine->PhoneUsbWait(), 0);
}

TEST_F(PhoneEngineTest, PanelGivesUpOnThe5001stPollWithItsMessage) {
    MakeEngine(PhoneOwner::FrontPanel);
    GivePanelFiles();
    engine->BeginPanelPortWait();
    ClearJournals();
    EXPECT_EQ(PollUntilTheWaitEnds(*engine, clock, 10000), 5001);
    EXPECT_EQ(out.Count("LogList: if(!m_PhoneUsbWait)"), 1);
    EXPECT_EQ(out.Count("CurrentFile: Phone USB Connecting..."), 1);
    const std::vector<std::string> tail(out.lines.end() - 3, out.lines.end());
    EXPECT_THAT(tail, ElementsAre("CurrentFile: Phone USB is not Connected...",
                                  "two-line message: Phone USB Cable is not conntected! or / Key "
                                  "is not Pressed! (red)",
                                  "run ended: PortNotFound"));
    EXPECT_TRUE(calls.size() > 0 && calls.back() == "stop PortPoll");
}

TEST_F(PhoneEngineTest, PanelPortFoundOnThe5000thPollStillStarts) {
    MakeEngine(PhoneOwner::FrontPanel);
    GivePanelFiles();
    engine->BeginPanelPortWait();
    for (int poll = 1; poll < 5000; ++poll)
        engine->PollPort();
    ports.names = {"ACM3"};
    engine->PollPort();
    EXPECT_EQ(engine->Inst().state, stBooting);
    EXPECT_TRUE(out.ends.empty());
}

TEST_F(PhoneEngineTest, PanelPortFoundAtOnceNeverSaysConnecting) {
    MakeEngine(PhoneOwner::FrontPanel);
    GivePanelFiles();
    engine->BeginPanelPortWait();
    ports.names = {"ACM3"};
    engine->PollPort();
    EXPECT_EQ(out.Count("CurrentFile: Phone USB Connecting..."), 0);
    EXPECT_EQ(out.On(PhoneTarget::StatusLine).back(), "Phone USB Connected...");
}

TEST_F(PhoneEngineTest, TicksDoNothingWhileThePhoneIsNotSelected) {
    MakeEngine(PhoneOwner::MainWindow);
    ASSERT_TRUE(engine->StartMainWindowRun(File("modem.brx"), PhoneStart::Command));
    ports.names = {"ACM3"};
    selected = false;
    calls.clear();
    engine->OnTimer(PhoneTimer::PortPoll);
    engine->OnTimer(PhoneTimer::BootWatchdog);
    EXPECT_TRUE(calls.empty());
    EXPECT_EQ(ports.scans, 0);
    selected = true;
    engine->OnTimer(PhoneTimer::PortPoll);
    EXPECT_EQ(engine->Inst().state, stBooting);
}

TEST_F(PhoneEngineTest, TheFirstPortNumberFoundIsOpened) {
    MakeEngine(PhoneOwner::MainWindow);
    ASSERT_TRUE(engine->StartMainWindowRun(File("modem.brx"), PhoneStart::Command));
    ports.names = {"USB0", "ACM12", "ACM7"};
    ClearJournals();
    engine->PollPort();
    EXPECT_EQ(calls[1], "open 1 /dev/ttyACM12 460800");
    EXPECT_EQ(engine->Inst().port_number, 12);
}

TEST_F(PhoneEngineTest, OwnerGivenPortIsWaitedForThenOpenedAsItStands) {
    FixedPhonePort fixed(File("modem-link"));
    PhoneEngineSetup setup;
    setup.library = &library;
    setup.presentation = &out;
    setup.clock = &clock;
    setup.ownerThread = &ownerThread;
    setup.ports = &fixed;
    PhoneEngine fixedEngine(std::move(setup));
    ASSERT_TRUE(fixedEngine.StartMainWindowRun(File("modem.brx"), PhoneStart::Command));
    calls.clear();
    fixedEngine.PollPort();
    EXPECT_EQ(fixedEngine.Inst().state, stIdle);
    EXPECT_EQ(std::count(calls.begin(), calls.end(), "start PortPoll 10"), 1);
    marlow::test::WriteFile(File("modem-link"), "");
    calls.clear();
    fixedEngine.PollPort();
    EXPECT_EQ(calls[1], "open 1 " + File("modem-link") + " 460800");
}

} // namespace
} // namespace marlow::phone::test
