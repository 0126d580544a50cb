#pragma once
// Shared pieces of the UART loader tests: a recording sink, the eight role
// files of a run, a pseudo-terminal with the handset emulator behind it, and
// a transport wrapper that fails chosen writes and watches thread use.

#include "emulators/uart_handset_emulator.h"
#include "emulators/uart_pty.h"
#include "support/hang_bound.h"
#include "support/temp_dir.h"
#include "uartloader/loader_events.h"
#include "uartloader/loader_settings.h"
#include "uartloader/uart_transport.h"

#include <array>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <ostream>
#include <thread>
#include <vector>

namespace marlow::uartloader {

// gtest prints events through this (found by argument-dependent lookup).
void PrintTo(const LoaderEvent& event, std::ostream* os);

namespace test {

class RecordingSink final : public LoaderSink {
public:
    void Post(const LoaderEvent& event) override;

    std::vector<LoaderEvent> Events() const;
    // Every event but the diagnostics, for exact sequence checks.
    std::vector<LoaderEvent> ShownEvents() const;
    // The log as the control shows it: everything since the last clear.
    std::string LogText() const;
    std::vector<std::string> MessageBoxes() const;
    std::vector<std::string> Diagnostics() const;
    std::vector<int> Progress(int bar) const;
    std::vector<std::string> CurrentFiles() const;
    // Every run's end, in order.
    std::vector<RunFinished> Ends() const;
    // Waits until an event matches; false after `timeout`.
    bool WaitFor(const std::function<bool(const LoaderEvent&)>& matches,
                 std::chrono::milliseconds timeout = marlow::test::kStuckAfter);

private:
    mutable std::mutex mutex_;
    std::condition_variable posted_;
    std::vector<LoaderEvent> events_;
};

using marlow::test::PatternBytes;

std::string DisconnectLine(const std::string& port);
// The whole log of a run of the emulator's default script, as the log
// control holds it ("\r\n" line ends), from "Connected to" to the disconnect.
std::string ExpectedDefaultLog(const std::string& port);

// Rows 0 to 7: 2nd boot, ExtMemInit, flasher, xloader, ExtMemInit
// partition, ADL, production, normal.
inline constexpr std::array<std::size_t, 8> kDefaultFileSizes = {300, 200,  2148, 5000,
                                                                 0,   2048, 1,    4097};

struct RoleFiles {
    marlow::test::TempDir dir;
    std::array<std::string, 8> paths;
    std::array<std::vector<std::uint8_t>, 8> contents;
};
void WriteRoleFiles(RoleFiles& files, const std::array<std::size_t, 8>& sizes = kDefaultFileSizes);

// Separate Write settings naming the files, with addresses in every row
// that uses them (row 2: entry 1000, exec 2000; row r >= 3: entry r0, ext r00000).
LoaderSettings SeparateWriteSettings(const RoleFiles& files);

// The handset emulator on the master side of a pseudo-terminal.
class PtyHandset {
public:
    explicit PtyHandset(emulators::UartEmulatorOptions options = {});
    ~PtyHandset();

    const std::string& PortPath() const { return pty_->SlavePath(); }
    // Waits for the session to end.
    emulators::UartEmulatorReport Report();

private:
    std::unique_ptr<emulators::UartPty> pty_;
    emulators::UartEmulatorReport report_;
    std::thread thread_;
};

// Wraps a transport: fails write number `failingWrite` (from 0) with
// `failure`, and notes whether any call came from a thread other than the
// one that opened it, or touched the port after Close.
class WatchedTransport final : public UartTransport {
public:
    struct Record {
        std::atomic<int> writes{0};
        std::atomic<bool> foreignThreadIo{false};
        std::atomic<bool> ioAfterClose{false};
        std::atomic<bool> closed{false};
    };

    WatchedTransport(std::unique_ptr<UartTransport> inner, Record& record, int failingWrite = -1,
                     LinkStatus failure = LinkStatus::Gone)
        : inner_(std::move(inner)), record_(record), failingWrite_(failingWrite),
          failure_(failure) {}

    Result<PortOpened> Open(const LineSettings& settings) override;
    void Close() override;
    bool IsOpen() const override { return inner_->IsOpen(); }
    void RequestClose() override { inner_->RequestClose(); }
    LinkStatus ReceiveData(std::span<std::uint8_t> into,
                           std::chrono::milliseconds timeout) override;
    LinkStatus TransmitData(std::span<const std::uint8_t> bytes) override;
    std::string PortName() const override { return inner_->PortName(); }

private:
    void NoteIo();

    std::unique_ptr<UartTransport> inner_;
    Record& record_;
    int failingWrite_;
    LinkStatus failure_;
    std::thread::id owner_;
};

} // namespace test
} // namespace marlow::uartloader
