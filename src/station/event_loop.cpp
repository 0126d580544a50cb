#include "station/event_loop.h"

#include <thread>

namespace marlow::station {

void EventLoop::Post(std::function<void()> task) {
    {
        const std::lock_guard lock(mutex_);
        tasks_.push_back(std::move(task));
    }
    posted_.notify_one();
}

void EventLoop::StartTimer(phone::PhoneTimer timer, std::chrono::milliseconds period) {
    timers_[timer] = Timer{period, Clock::now() + period};
}

void EventLoop::StopTimer(phone::PhoneTimer timer) {
    timers_.erase(timer);
}

void EventLoop::Pause(std::chrono::milliseconds duration) {
    std::this_thread::sleep_for(duration);
}

bool EventLoop::TimerRunning(phone::PhoneTimer timer) const {
    return timers_.count(timer) != 0;
}

void EventLoop::RunOnce(std::optional<Clock::time_point> until) {
    for (const auto& [timer, state] : timers_)
        until = until ? std::min(*until, state.due) : state.due;
    std::deque<std::function<void()>> ready;
    {
        std::unique_lock lock(mutex_);
        const auto posted = [this] { return !tasks_.empty(); };
        if (until)
            posted_.wait_until(lock, *until, posted);
        else
            posted_.wait(lock, posted);
        ready.swap(tasks_);
    }
    for (std::function<void()>& task : ready)
        task();
    RunDueTimers();
}

namespace {

std::function<void(const std::string&)> PostedTo(EventLoop& loop,
                                                 std::function<void(const std::string&)> handler) {
    return [&loop, handler = std::move(handler)](const std::string& text) {
        loop.Post([handler, text] { handler(text); });
    };
}

} // namespace

usb::DeviceEvents PostedTo(EventLoop& loop, usb::DeviceEvents handlers) {
    usb::DeviceEvents posted;
    posted.arrived = [&loop, arrived = std::move(handlers.arrived)](
                         std::unique_ptr<usb::UsbTransport> transport) {
        // A task is copied, a transport cannot be: it travels in a shared box.
        auto box = std::make_shared<std::unique_ptr<usb::UsbTransport>>(std::move(transport));
        loop.Post([arrived, box] { arrived(std::move(*box)); });
    };
    posted.removed = PostedTo(loop, std::move(handlers.removed));
    posted.problem = PostedTo(loop, std::move(handlers.problem));
    return posted;
}

void EventLoop::RunDueTimers() {
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

} // namespace marlow::station
