#pragma once
// Collects a device source's events from its thread for a test to take one
// by one. Each take waits for the event; the bound is only there so that a
// broken source fails the test instead of hanging it.

#include "support/hang_bound.h"
#include "usb/device_source.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

namespace marlow::test {

class BusEvents {
public:
    usb::DeviceEvents Sink() {
        usb::DeviceEvents events;
        events.arrived = [this](std::unique_ptr<usb::UsbTransport> transport) {
            Push(arrived_, std::move(transport));
        };
        events.removed = [this](const std::string& path) { Push(removed_, path); };
        events.problem = [this](const std::string& text) { Push(problems_, text); };
        events.alreadyAttached = [this](const std::string& text) { Push(attached_, text); };
        return events;
    }

    std::unique_ptr<usb::UsbTransport> TakeArrival() { return Take(arrived_).value_or(nullptr); }
    std::string TakeRemoval() { return Take(removed_).value_or("<no removal>"); }
    std::string TakeProblem() { return Take(problems_).value_or("<no problem reported>"); }
    std::string TakeAlreadyAttached() {
        return Take(attached_).value_or("<no device already attached>");
    }

    std::size_t Arrivals() const {
        std::lock_guard lock(mutex_);
        return arrived_.size();
    }
    std::size_t Removals() const {
        std::lock_guard lock(mutex_);
        return removed_.size();
    }
    std::size_t Problems() const {
        std::lock_guard lock(mutex_);
        return problems_.size();
    }

private:
    template <typename T> void Push(std::deque<T>& queue, T value) {
        {
            std::lock_guard lock(mutex_);
            queue.push_back(std::move(value));
        }
        changed_.notify_all();
    }

    template <typename T> std::optional<T> Take(std::deque<T>& queue) {
        std::unique_lock lock(mutex_);
        if (!changed_.wait_for(lock, marlow::test::kStuckAfter, [&] { return !queue.empty(); }))
            return std::nullopt;
        T value = std::move(queue.front());
        queue.pop_front();
        return value;
    }

    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<std::unique_ptr<usb::UsbTransport>> arrived_;
    std::deque<std::string> removed_;
    std::deque<std::string> problems_;
    std::deque<std::string> attached_;
};

} // namespace marlow::test
