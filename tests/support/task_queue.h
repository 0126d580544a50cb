#pragma once
// Tasks posted from any thread and run on the test's own, which plays the
// owner's thread (a window's event loop, the CLI's, the phone engine's).

#include "support/hang_bound.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>

namespace marlow::test {

class TaskQueue {
public:
    void Post(std::function<void()> task) {
        {
            const std::lock_guard lock(mutex_);
            tasks_.push_back(std::move(task));
        }
        posted_.notify_all();
    }
    // Runs what is queued now and what those tasks queue; returns how many ran.
    int RunAll() {
        int ran = 0;
        for (; std::function<void()> task = Take(std::chrono::seconds(0)); ++ran)
            task();
        return ran;
    }
    // Blocks until a task is queued, then runs it. False when none came in
    // `patience`: a guard against a hung test, not a measured time.
    bool WaitAndRunOne(std::chrono::milliseconds patience = kStuckAfter) {
        const std::function<void()> task = Take(patience);
        if (task)
            task();
        return task != nullptr;
    }
    // Runs tasks as they come until `until` holds.
    bool RunUntil(const std::function<bool()>& until) {
        while (!until())
            if (!WaitAndRunOne())
                return false;
        return true;
    }

private:
    std::function<void()> Take(std::chrono::milliseconds patience) {
        std::unique_lock lock(mutex_);
        if (!posted_.wait_for(lock, patience, [this] { return !tasks_.empty(); }))
            return nullptr;
        std::function<void()> task = std::move(tasks_.front());
        tasks_.pop_front();
        return task;
    }

    std::mutex mutex_;
    std::condition_variable posted_;
    std::deque<std::function<void()>> tasks_;
};

} // namespace marlow::test
