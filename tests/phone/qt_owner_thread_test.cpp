// The Qt side of the engine's owner thread: posts from other threads run on
// the owner's event loop in the order they were posted; timers tick there.

#include "phone/qt_owner_thread.h"
#include "phone/qt_phone_clock.h"
#include "support/qt_events.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QObject>
#include <thread>
#include <vector>

namespace marlow::phone::test {
namespace {

TEST(QtOwnerThread, TasksFromAnotherThreadRunInOrderOnTheOwner) {
    marlow::test::EnsureCoreApplication();
    QObject context;
    QtOwnerThread owner(&context);
    std::vector<int> ran;
    const std::thread::id ownerId = std::this_thread::get_id();
    bool allOnOwner = true;
    std::thread library([&] {
        for (int i = 0; i < 500; ++i)
            owner.Post([&, i] {
                ran.push_back(i);
                allOnOwner = allOnOwner && std::this_thread::get_id() == ownerId;
            });
    });
    library.join();
    while (ran.size() < 500)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    EXPECT_TRUE(allOnOwner);
    for (int i = 0; i < 500; ++i)
        ASSERT_EQ(ran[i], i);
}

TEST(QtOwnerThread, TasksForAContextThatIsGoneAreDropped) {
    marlow::test::EnsureCoreApplication();
    bool ran = false;
    {
        QObject context;
        QtOwnerThread owner(&context);
        owner.Post([&] { ran = true; });
    }
    QCoreApplication::processEvents();
    EXPECT_FALSE(ran);
}

TEST(QtPhoneClock, TimersTickOnTheOwnerUntilStopped) {
    marlow::test::EnsureCoreApplication();
    std::vector<PhoneTimer> ticks;
    QtPhoneClock clock([&](PhoneTimer timer) { ticks.push_back(timer); });
    clock.StartTimer(PhoneTimer::BootWatchdog, std::chrono::milliseconds(0));
    EXPECT_TRUE(clock.IsRunning(PhoneTimer::BootWatchdog));
    EXPECT_FALSE(clock.IsRunning(PhoneTimer::PortPoll));
    while (ticks.empty())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    EXPECT_EQ(ticks.front(), PhoneTimer::BootWatchdog);
    clock.StopTimer(PhoneTimer::BootWatchdog);
    EXPECT_FALSE(clock.IsRunning(PhoneTimer::BootWatchdog));
}

} // namespace
} // namespace marlow::phone::test
