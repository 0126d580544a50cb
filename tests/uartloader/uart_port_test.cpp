// CUartPort over a pseudo-terminal, with the test playing the device on the
// master side.

#include "uartloader/uart_port.h"

#include "emulators/uart_pty.h"
#include "support/hang_bound.h"

#include <QThread>
#include <gtest/gtest.h>

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

namespace marlow::uartloader {
namespace {

using std::chrono::milliseconds;
using Bytes = std::vector<std::uint8_t>;

// A QSerialPort belongs to the thread that made it; like the loader's
// worker, each test body runs on a thread of its own.
void OnPortThread(const std::function<void()>& body) {
    std::unique_ptr<QThread> thread(QThread::create(body));
    thread->start();
    thread->wait();
}

speed_t SlaveSpeed(const std::string& slavePath) {
    const int fd = ::open(slavePath.c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK);
    termios tio{};
    ::tcgetattr(fd, &tio);
    ::close(fd);
    return ::cfgetospeed(&tio);
}

TEST(LineSchedule, AReplyTimeOutStartsWhenTheLastByteCanHaveLeftTheLine) {
    using std::chrono::nanoseconds;
    const struct {
        LineSettings settings;
        nanoseconds frameTime; // 2052 bytes
    } lines[] = {
        {kLoaderLineSettings, nanoseconds(195'937'500)}, // 11 bits a byte
        {{115200, 8, Parity::None, StopBits::One}, nanoseconds(178'125'000)},
        {{9600, 8, Parity::Even, StopBits::Two}, nanoseconds(2'565'000'000)},
        {{0, 8, Parity::Even, StopBits::One}, nanoseconds(0)}, // no pace at all
    };
    const LineSchedule::Clock::time_point handed{std::chrono::seconds(1)};
    for (const auto& line : lines) {
        SCOPED_TRACE(line.settings.baudRate);
        LineSchedule schedule(line.settings);
        EXPECT_EQ(schedule.Occupy(2052, handed), handed + line.frameTime);
        EXPECT_EQ(schedule.ReplyDeadline(handed, milliseconds(100)),
                  handed + line.frameTime + milliseconds(100));
    }
    // A word handed over while the frame is still going out queues behind it;
    // once the line is idle, a time-out counts from the moment it is asked for.
    LineSchedule schedule;
    schedule.Occupy(2052, handed);
    schedule.Occupy(4, handed + milliseconds(1));
    EXPECT_EQ(schedule.ReplyDeadline(handed + milliseconds(2), milliseconds(100)),
              handed + schedule.LineTime(2056) + milliseconds(100));
    EXPECT_EQ(schedule.ReplyDeadline(handed + std::chrono::seconds(1), milliseconds(100)),
              handed + std::chrono::seconds(1) + milliseconds(100));
}

class SerialPortOnPty : public ::testing::Test {
protected:
    SerialPortOnPty() {
        auto created = emulators::UartPty::Create();
        if (!created)
            throw std::runtime_error(created.Error());
        device = std::move(*created);
    }
    // Runs `body` on a port thread with the port open and the device told so.
    void WithOpenPort(const std::function<void(CUartPort&)>& body) {
        OnPortThread([&] {
            CUartPort port(device->SlavePath());
            ASSERT_TRUE(port.Open(kLoaderLineSettings).Ok());
            ASSERT_EQ(device->WaitForHostOpen(marlow::test::kStuckAfter), LinkStatus::Ok);
            body(port);
        });
    }
    std::unique_ptr<emulators::UartPty> device;
};

// The open warns once that parity cannot be carried, tells the device side
// that the queues were purged, and opening again is a no-op that keeps the
// settings; a port with no device fails to open.
TEST_F(SerialPortOnPty, OpensWithOneWarningAndAPurgeAndOnlyOnce) {
    OnPortThread([&] {
        CUartPort port(device->SlavePath());
        const Result<PortOpened> result = port.Open(kLoaderLineSettings);
        ASSERT_TRUE(result) << result.Error();
        EXPECT_EQ(result->warning, "warning: " + device->SlavePath() +
                                       " is a pseudo-terminal, which cannot carry parity; "
                                       "running without it");
        EXPECT_TRUE(port.IsOpen());
        EXPECT_EQ(device->WaitForHostOpen(marlow::test::kStuckAfter), LinkStatus::Ok);
        LineSettings slower = kLoaderLineSettings;
        slower.baudRate = 9600;
        const Result<PortOpened> again = port.Open(slower);
        ASSERT_TRUE(again);
        EXPECT_TRUE(again->warning.empty());
        EXPECT_EQ(SlaveSpeed(device->SlavePath()), B115200);

        CUartPort missing("COM99"); // no such device: it stays closed
        const Result<PortOpened> refused = missing.Open(kLoaderLineSettings);
        EXPECT_NE(refused.Error().find("COM99: cannot open /dev/ttyS98"), std::string::npos);
        EXPECT_FALSE(refused.Ok() || missing.IsOpen());
        EXPECT_EQ(missing.TransmitData(std::vector<std::uint8_t>{1}), LinkStatus::Stopped);
    });
}

// A read takes nothing until all its bytes are there; a vanished device
// reads as gone.
TEST_F(SerialPortOnPty, AReadTakesNothingUntilAllItsBytesAreThereOrTheDeviceHasGone) {
    WithOpenPort([&](CUartPort& port) {
        const Bytes sent = {0x0A, 0x0B, 0x0C};
        ASSERT_EQ(device->Send(sent), LinkStatus::Ok);
        Bytes four(4);
        EXPECT_EQ(port.ReceiveData(four, milliseconds(30)), LinkStatus::TimedOut);
        Bytes three(3);
        EXPECT_EQ(port.ReceiveData(three, marlow::test::kStuckAfter), LinkStatus::Ok);
        EXPECT_EQ(three, sent);
        device->Hangup();
        EXPECT_EQ(port.ReceiveData(four, marlow::test::kStuckAfter), LinkStatus::Gone);
    });
}

// A close requested from another thread ends a waiting read at once, and
// nothing is written after it.
TEST_F(SerialPortOnPty, ACloseRequestedFromAnotherThreadEndsReadsAndWrites) {
    WithOpenPort([&](CUartPort& port) {
        std::thread closer([&] { port.RequestClose(); });
        Bytes word(4);
        EXPECT_EQ(port.ReceiveData(word, marlow::test::kStuckAfter), LinkStatus::Stopped);
        closer.join();
        EXPECT_EQ(port.TransmitData(word), LinkStatus::Stopped);
        EXPECT_FALSE(port.IsOpen());
        port.Close();
    });
    Bytes any(1);
    EXPECT_NE(device->Receive(any, milliseconds(50)), LinkStatus::Ok);
}

// Closing at once after a write still delivers it: more than the 4 KiB a
// pseudo-terminal's reader takes in, so most of it is still on its way
// when the port closes.
TEST_F(SerialPortOnPty, WhatWasWrittenBeforeTheCloseStillReachesTheDevice) {
    Bytes sent(10000);
    for (std::size_t i = 0; i < sent.size(); ++i)
        sent[i] = static_cast<std::uint8_t>(i * 7);
    WithOpenPort([&](CUartPort& port) {
        ASSERT_EQ(port.TransmitData(sent), LinkStatus::Ok);
        port.Close();
    });
    Bytes got(sent.size());
    EXPECT_EQ(device->Receive(got, marlow::test::kStuckAfter), LinkStatus::Ok);
    EXPECT_EQ(got, sent);
}

// A write fails when only a break came on the line since the last look; a
// read looks too. The driver's counters are played by the test.
TEST_F(SerialPortOnPty, AWriteFailsOnABreakAloneSinceTheLastReadOrWrite) {
    const struct {
        LineErrorCounts beforeRead, beforeWrite; // what the driver counts meanwhile
        LinkStatus written;
    } rows[] = {
        {{}, {}, LinkStatus::Ok},
        {{}, {.breaks = 1}, LinkStatus::LineBreak},
        {{}, {.breaks = 1, .errors = 1}, LinkStatus::Ok},
        {{}, {.errors = 2}, LinkStatus::Ok},
        {{.breaks = 1}, {}, LinkStatus::Ok},
    };
    const Bytes one = {0x55};
    for (const auto& row : rows) {
        LineErrorCounts counts{.breaks = 7, .errors = 3}; // from before the open
        const auto add = [&counts](const LineErrorCounts& more) {
            counts = {counts.breaks + more.breaks, counts.errors + more.errors};
        };
        OnPortThread([&] {
            CUartPort port(device->SlavePath(), [&counts](int) { return counts; });
            ASSERT_TRUE(port.Open(kLoaderLineSettings).Ok());
            ASSERT_EQ(device->Send(one), LinkStatus::Ok);
            add(row.beforeRead);
            Bytes got(1);
            ASSERT_EQ(port.ReceiveData(got, marlow::test::kStuckAfter), LinkStatus::Ok);
            add(row.beforeWrite);
            EXPECT_EQ(port.TransmitData(one), row.written) << &row - rows;
            EXPECT_EQ(port.TransmitData(one), LinkStatus::Ok); // told once
        });
    }
}

} // namespace
} // namespace marlow::uartloader
