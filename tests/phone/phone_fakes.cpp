#include "phone_fakes.h"

namespace marlow::phone::test {

void RecordingPhoneEvents::Post(const PhoneRunEvent& event) {
    events.push_back(event);
    // The owner hears the end before the skin's last (modal) box.
    if (const std::optional<PhoneRunEnd> end = ends_.Follow(event)) {
        ends.push_back(*end);
        const char* names[] = {"Succeeded", "Failed", "PortNotFound"};
        Add(std::string("end|") + names[static_cast<int>(*end)]);
    }
    if (owner == PhoneOwner::FrontPanel)
        frontPanel_.Show(event);
    else
        mainWindow_.Show(event);
}

namespace {
const char* TimerName(PhoneTimer timer) {
    return timer == PhoneTimer::PortPoll ? "PortPoll" : "BootWatchdog";
}
} // namespace

void FakeClock::StartTimer(PhoneTimer timer, std::chrono::milliseconds period) {
    running_[timer] = true;
    ++starts_[timer];
    journal_.push_back(std::string("start ") + TimerName(timer) + " " +
                       std::to_string(period.count()));
}

void FakeClock::StopTimer(PhoneTimer timer) {
    running_[timer] = false;
    journal_.push_back(std::string("stop ") + TimerName(timer));
}

void FakeClock::Pause(std::chrono::milliseconds duration) {
    journal_.push_back("pause " + std::to_string(duration.count()));
}

bool FakeClock::Running(PhoneTimer timer) const {
    const auto it = running_.find(timer);
    return it != running_.end() && it->second;
}

int FakeClock::Starts(PhoneTimer timer) const {
    const auto it = starts_.find(timer);
    return it == starts_.end() ? 0 : it->second;
}

void ManualOwnerThread::Post(std::function<void()> task) {
    {
        const std::lock_guard lock(mutex_);
        tasks_.push_back(std::move(task));
    }
    posted_.notify_all();
}

int ManualOwnerThread::RunAll() {
    int ran = 0;
    for (;;) {
        std::function<void()> task;
        {
            const std::lock_guard lock(mutex_);
            if (tasks_.empty())
                return ran;
            task = std::move(tasks_.front());
            tasks_.pop_front();
        }
        task();
        ++ran;
    }
}

bool ManualOwnerThread::WaitAndRunOne(std::chrono::seconds patience) {
    std::function<void()> task;
    {
        std::unique_lock lock(mutex_);
        if (!posted_.wait_for(lock, patience, [this] { return !tasks_.empty(); }))
            return false;
        task = std::move(tasks_.front());
        tasks_.pop_front();
    }
    task();
    return true;
}

std::size_t ManualOwnerThread::Queued() const {
    const std::lock_guard lock(mutex_);
    return tasks_.size();
}

} // namespace marlow::phone::test
