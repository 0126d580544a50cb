// The port wait of both owners: one poll per tick, counted exactly; with the
// ports watched, one sleep that counts the polls it stood in for.

#include "phone_engine_fixture.h"

#include <algorithm>

namespace marlow::phone::test {
namespace {

using ::testing::ElementsAre;
using namespace std::chrono_literals;

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
    StartRun(PhoneOwner::MainWindow);
    ClearJournals();
    EXPECT_EQ(PollUntilTheWaitEnds(*engine, clock, 10000), 3001);
    EXPECT_EQ(ports.scans, 3001);
    EXPECT_EQ(out.Count("trace|if(!m_PhoneUsbWait)"), 1);
    EXPECT_EQ(out.Count("trace|Phone USB Connecting..."), 1);
    EXPECT_EQ(out.Count("trace|Phone USB is not Connected..."), 1);
    EXPECT_EQ(out.ends, std::vector<PhoneRunEnd>{PhoneRunEnd::PortNotFound});
    EXPECT_EQ(engine->PhoneUsbWait(), 0);
    EXPECT_TRUE(library.receiver != nullptr);
    EXPECT_EQ(std::count(calls.begin(), calls.end(), "start PortPoll 10"), 3000);
}

TEST_F(PhoneEngineTest, PanelGivesUpOnThe5001stPollWithItsMessage) {
    StartRun(PhoneOwner::FrontPanel);
    ClearJournals();
    EXPECT_EQ(PollUntilTheWaitEnds(*engine, clock, 10000), 5001);
    EXPECT_EQ(out.Count("1136|if(!m_PhoneUsbWait)"), 1);
    EXPECT_EQ(out.Count("1037|Phone USB Connecting..."), 1);
    const std::vector<std::string> shown = out.Calls();
    const std::vector<std::string> tail(shown.end() - 3, shown.end());
    EXPECT_THAT(tail,
                ElementsAre("1037|Phone USB is not Connected...",
                            "two|Phone USB Cable is not conntected! or|Key is not Pressed!|red",
                            "end|PortNotFound"));
    EXPECT_TRUE(calls.size() > 0 && calls.back() == "stop PortPoll");
}

TEST_F(PhoneEngineTest, TicksDoNothingWhileThePhoneIsNotSelected) {
    StartRun(PhoneOwner::MainWindow);
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
    StartRun(PhoneOwner::MainWindow);
    ports.names = {"USB0", "ACM12", "ACM7"};
    ClearJournals();
    engine->PollPort();
    EXPECT_EQ(calls[1], "open 1 /dev/ttyACM12 460800");
    EXPECT_EQ(engine->Inst().port_number, 12);
}

TEST_F(PhoneEngineTest, OwnerGivenPortIsWatchedForThenOpenedAsItStands) {
    FixedPhonePort fixed(File("modem-link"));
    MakeEngine(PhoneOwner::MainWindow, &fixed);
    ASSERT_TRUE(engine->StartMainWindowRun(File("modem.brx"), PhoneStart::Command));
    calls.clear();
    engine->PollPort();
    EXPECT_EQ(engine->Inst().state, stIdle);
    // Its folder is watched, so the wait sleeps until its last poll is due.
    EXPECT_TRUE(fixed.PortsWatched());
    EXPECT_EQ(calls.back(), "start PortPoll 30010");
    marlow::test::WriteFile(File("modem-link"), "");
    calls.clear();
    ASSERT_TRUE(ownerThread.WaitAndRunOne());
    EXPECT_EQ(calls[1], "open 1 " + File("modem-link") + " 460800");
    EXPECT_FALSE(fixed.PortsWatched());
    engine.reset(); // before the port it was given
}

// With the ports watched the wait wakes only when they change or when its
// last poll is due, and counts the polls it slept through as unsuccessful.
struct SleepingWait {
    PhoneOwner owner;
    int wakeAtPoll;  // the time of the wake, in polls since the wait began
    bool byTheWatch; // else by the sleep's own timer
    bool portThere;
    PhoneState state;
    int pollsCounted;
    int ends;  // runs ended (the wait given up)
    int scans; // the ports looked at in the whole wait
};

class SleepingWaitTest : public PhoneEngineTest,
                         public ::testing::WithParamInterface<SleepingWait> {};

TEST_P(SleepingWaitTest, CountsTheSleptPollsAsTheWaitWouldHave) {
    const SleepingWait& row = GetParam();
    ports.watchable = true;
    const auto start = clock.now;
    StartRun(row.owner);
    clock.now = start + 10ms;
    engine->OnTimer(PhoneTimer::PortPoll);
    const int limit = row.owner == PhoneOwner::MainWindow ? 3000 : 5000;
    EXPECT_EQ(calls.back(), "start PortPoll " + std::to_string(limit * 10));

    clock.now = start + row.wakeAtPoll * 10ms;
    if (row.portThere)
        ports.names = {"ACM3"};
    if (row.byTheWatch) {
        ports.changed();
        ownerThread.RunAll();
    } else {
        engine->OnTimer(PhoneTimer::PortPoll);
    }
    EXPECT_EQ(engine->Inst().state, row.state);
    EXPECT_EQ(engine->PhoneUsbWait(), row.pollsCounted);
    EXPECT_EQ(out.ends.size(), static_cast<std::size_t>(row.ends));
    EXPECT_EQ(out.Count("trace|Phone USB is not Connected...") +
                  out.Count("1037|Phone USB is not Connected..."),
              row.ends);
    EXPECT_EQ(
        out.Count("trace|Phone USB Connecting...") + out.Count("1037|Phone USB Connecting..."), 1);
    EXPECT_EQ(ports.scans, row.scans);
    EXPECT_EQ(ports.PortsWatched(), row.state == stIdle && row.ends == 0);
}

INSTANTIATE_TEST_SUITE_P(
    BothOwners, SleepingWaitTest,
    ::testing::Values(SleepingWait{PhoneOwner::MainWindow, 3001, false, false, stIdle, 0, 1, 2},
                      SleepingWait{PhoneOwner::MainWindow, 3000, true, true, stBooting, 0, 0, 2},
                      SleepingWait{PhoneOwner::MainWindow, 1500, true, false, stIdle, 1500, 0, 2},
                      SleepingWait{PhoneOwner::FrontPanel, 5001, false, false, stIdle, 0, 1, 2},
                      SleepingWait{PhoneOwner::FrontPanel, 5000, true, true, stBooting, 0, 0, 2},
                      SleepingWait{PhoneOwner::FrontPanel, 9000, false, true, stIdle, 0, 1, 1}));

} // namespace
} // namespace marlow::phone::test
