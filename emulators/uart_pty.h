#pragma once
// A pseudo-terminal standing in for the handset's serial cable: the tool
// opens the slave (or a symbolic link to it) as its serial port, the
// emulator works the master.
//
// The master runs in packet mode, so the emulator also learns when the tool
// purges its queues: that is the end of the tool's port open, the moment a
// boot ROM's ASIC ID can be heard.

#include "common/result.h"
#include "emulators/uart_device_link.h"

#include <deque>
#include <memory>
#include <string>

namespace marlow::emulators {

class UartPty final : public UartDeviceLink {
public:
    // `linkPath`, when given, becomes a symbolic link to the slave (an old
    // link there is replaced; any other file is refused).
    static Result<std::unique_ptr<UartPty>> Create(const std::string& linkPath = {});
    ~UartPty() override;
    UartPty(const UartPty&) = delete;
    UartPty& operator=(const UartPty&) = delete;

    const std::string& SlavePath() const { return slavePath_; }
    const std::string& LinkPath() const { return linkPath_; }

    LinkStatus WaitForHostOpen(std::chrono::milliseconds timeout) override;
    LinkStatus Receive(std::span<std::uint8_t> into, std::chrono::milliseconds timeout) override;
    LinkStatus Send(std::span<const std::uint8_t> bytes) override;
    Clock::time_point LastArrival() const override { return lastArrival_; }
    void Hangup() override;
    void Stop() override;

    // Discards whatever comes until the tool has closed its end.
    LinkStatus WaitForHostClose(std::chrono::milliseconds timeout);

private:
    enum class Event { Data, Purge, Status, HostAbsent, TimedOut, Stopped, Failed };

    UartPty(int master, int wake, int slaveOpened, std::string slavePath, std::string linkPath);
    Event ReadPacket(Clock::time_point deadline);
    // Reads packets until `handle` gives the wait's status for one, or a
    // timeout, Stop or failure ends it.
    template <typename Handle> LinkStatus ReadUntil(Clock::time_point deadline, Handle handle);
    // Whether the tool has the slave closed (and sent nothing not yet read).
    bool SlaveClosed() const;
    // Sleeps until the tool opens the slave, `deadline` or Stop; false on Stop.
    bool WaitForSlaveOpen(Clock::time_point deadline);

    int master_;
    int wake_;
    int slaveOpened_; // inotify on the slave's opening, or -1
    std::string slavePath_;
    std::string linkPath_;
    std::deque<std::uint8_t> pending_;
    Clock::time_point pendingSince_{};
    Clock::time_point lastArrival_{};
};

} // namespace marlow::emulators
