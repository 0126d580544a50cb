#include "cli/support_phone_loop.h"

#include <csignal>
#include <thread>

namespace marlow::cli {

void PhoneCliLoop::Post(std::function<void()> task) {
    {
        const std::lock_guard lock(mutex_);
        tasks_.push_back(std::move(task));
    }
    posted_.notify_one();
}

void PhoneCliLoop::StartTimer(phone::PhoneTimer timer, std::chrono::milliseconds period) {
    timers_[timer] = Timer{period, Clock::now() + period};
}

void PhoneCliLoop::StopTimer(phone::PhoneTimer timer) {
    timers_.erase(timer);
}

void PhoneCliLoop::Pause(std::chrono::milliseconds duration) {
    std::this_thread::sleep_for(duration);
}

bool PhoneCliLoop::TimerRunning(phone::PhoneTimer timer) const {
    return timers_.count(timer) != 0;
}

void PhoneCliLoop::RunOnce(std::chrono::milliseconds wait) {
    Clock::time_point until = Clock::now() + wait;
    for (const auto& [timer, state] : timers_)
        until = std::min(until, state.due);
    std::deque<std::function<void()>> ready;
    {
        std::unique_lock lock(mutex_);
        posted_.wait_until(lock, until, [this] { return !tasks_.empty(); });
        ready.swap(tasks_);
    }
    for (std::function<void()>& task : ready)
        task();
    RunDueTimers();
}

void PhoneCliLoop::RunDueTimers() {
    const Clock::time_point now = Clock::now();
    for (const phone::PhoneTimer timer :
         {phone::PhoneTimer::PortPoll, phone::PhoneTimer::BootWatchdog}) {
        const auto it = timers_.find(timer);
        if (it == timers_.end() || it->second.due > now)
            continue;
        it->second.due = now + it->second.period; // window timers keep ticking
        if (onTick_)
            onTick_(timer);
    }
}

namespace {

std::atomic<bool> interruptRaised{false};
struct sigaction previousAction {};

void OnInterrupt(int) {
    interruptRaised = true;
}

} // namespace

InterruptFlag::InterruptFlag() {
    interruptRaised = false;
    struct sigaction action {};
    action.sa_handler = OnInterrupt;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, &previousAction);
}

InterruptFlag::~InterruptFlag() {
    sigaction(SIGINT, &previousAction, nullptr);
}

bool InterruptFlag::Raised() const {
    return interruptRaised;
}

} // namespace marlow::cli
