#pragma once
// A value another thread changes (a status a worker reports), for a test
// to wait on until it holds what the test expects. The wait's bound is a
// hang's, not a slow machine's.

#include "support/hang_bound.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>

namespace marlow::test {

template <typename T> class Watched {
public:
    // As a report callback: the new value.
    void operator()(const T& value) {
        Change([&](T& kept) { kept = value; });
    }
    void Change(const std::function<void(T&)>& change) {
        const std::lock_guard lock(mutex_);
        change(value_);
        changed_.notify_all();
    }
    T Await(const std::function<bool(const T&)>& done) {
        std::unique_lock lock(mutex_);
        EXPECT_TRUE(changed_.wait_for(lock, kStuckAfter, [&] { return done(value_); }));
        return value_;
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    T value_{};
};

} // namespace marlow::test
