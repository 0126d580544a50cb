#pragma once
// A UsbTransport whose answers a test writes in advance and whose calls it
// reads back afterwards. A read with nothing scripted blocks until
// Interrupt, as a silent boot loader does.

#include "support/hang_bound.h"
#include "usb/usb_transport.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

namespace marlow::test {

class ScriptedTransport : public usb::UsbTransport {
public:
    struct Read {
        usb::TransferStatus status;
        std::uint8_t byte = 0;
    };

    // Script
    int openFailuresLeft = 0; // Open fails this many times, then succeeds
    bool holdOpen = false;    // every Open waits for Interrupt, then fails
    std::string description = "Scripted boot loader";
    std::deque<usb::TransferStatus> writeResults; // default Ok
    std::deque<Read> reads;

    // Record
    int openAttempts = 0;
    int closeCalls = 0;
    int clearInterruptCalls = 0;
    std::vector<std::vector<std::uint8_t>> writes;

    Status Open() override {
        std::unique_lock lock(mutex_);
        ++openAttempts;
        changed_.notify_all();
        if (holdOpen) { // bounded: a hold on the test's own thread fails the test
            EXPECT_TRUE(changed_.wait_for(lock, kStuckAfter, [this] { return interrupted_; }));
            interrupted_ = true;
            return Failure{"no answer"};
        }
        if (openFailuresLeft > 0) {
            --openFailuresLeft;
            return Failure{"device busy"};
        }
        open_ = true;
        return {};
    }
    void Close() override {
        ++closeCalls;
        open_ = false;
    }
    bool IsOpen() const override { return open_; }

    usb::TransferStatus Write(std::span<const std::uint8_t> packet) override {
        writes.emplace_back(packet.begin(), packet.end());
        if (writeResults.empty())
            return usb::TransferStatus::Ok;
        const usb::TransferStatus result = writeResults.front();
        writeResults.pop_front();
        return result;
    }

    usb::TransferStatus ReadByte(std::uint8_t& out) override {
        std::unique_lock lock(mutex_);
        reading_ = true;
        changed_.notify_all();
        // A read nobody answers nor stops is a hang of the test: it fails.
        const bool moved = changed_.wait_for(lock, marlow::test::kStuckAfter,
                                             [this] { return interrupted_ || !reads.empty(); });
        reading_ = false;
        EXPECT_TRUE(moved) << "a read was neither answered nor stopped";
        if (!moved)
            return usb::TransferStatus::Failed;
        if (interrupted_)
            return usb::TransferStatus::Stopped;
        const Read read = reads.front();
        reads.pop_front();
        if (read.status == usb::TransferStatus::Ok)
            out = read.byte;
        return read.status;
    }

    void Interrupt() override {
        std::lock_guard lock(mutex_);
        interrupted_ = true;
        changed_.notify_all();
    }
    void ClearInterrupt() override {
        std::lock_guard lock(mutex_);
        ++clearInterruptCalls;
        interrupted_ = false;
    }

    std::string Description() const override { return description; }
    std::string DevicePath() const override { return "test:7"; }

    // Blocks until a ReadByte is waiting.
    void WaitUntilReading() {
        std::unique_lock lock(mutex_);
        EXPECT_TRUE(
            changed_.wait_for(lock, marlow::test::kStuckAfter, [this] { return reading_; }));
    }
    // Blocks until Open has been tried `count` times.
    void WaitForOpenAttempts(int count) {
        std::unique_lock lock(mutex_);
        EXPECT_TRUE(changed_.wait_for(lock, marlow::test::kStuckAfter,
                                      [&] { return openAttempts >= count; }));
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    bool open_ = false;
    bool interrupted_ = false;
    bool reading_ = false;
};

} // namespace marlow::test
