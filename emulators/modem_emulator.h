#pragma once
// The modem on a pseudo-terminal: its port appears at a path of our choice
// (a link to the terminal's device), it speaks the download link on its own
// thread and stores every file it received. Leaving (a fault, or Vanish)
// hangs the line up and removes the link, as an unplugged modem does.

#include "common/result.h"
#include "modem_device.h"
#include "modemlink/modem_serial_line.h"

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace marlow::emulators {

struct ModemEmulatorOptions {
    ModemFaults faults;
    // When set, each received file is also written here under its own name.
    std::string storeDirectory;
    // Off: files are checked as they come and not kept (no size limit).
    bool keepData = true;
    // Called on the emulator's thread after each request it answered and
    // when it leaves, so that an owner can sleep until something happened.
    std::function<void()> onChange = nullptr;
};

class ModemEmulator {
public:
    static Result<std::unique_ptr<ModemEmulator>> Start(const std::string& linkPath,
                                                        ModemEmulatorOptions options);
    ~ModemEmulator();
    ModemEmulator(const ModemEmulator&) = delete;
    ModemEmulator& operator=(const ModemEmulator&) = delete;

    const std::string& LinkPath() const { return linkPath_; }
    const std::string& DevicePath() const { return devicePath_; }

    void Vanish();
    bool Vanished() const { return vanished_; }

    std::vector<ReceivedModemFile> Files() const;
    int Boots() const;
    int EndsOfProcess() const;
    int Aborts() const;
    // Lines about what went wrong while storing files.
    std::vector<std::string> Problems() const;

private:
    ModemEmulator(std::string linkPath, std::string devicePath, int slaveFd,
                  std::unique_ptr<modemlink::SerialLine> master, ModemEmulatorOptions options);
    void Serve();
    void Answer(const modemlink::Frame& request);
    void Store(const ReceivedModemFile& file);
    void LeaveLink();
    void WakeServer();

    std::string linkPath_;
    std::string devicePath_;
    int slaveFd_; // held so the line stays up while no host has it open
    std::unique_ptr<modemlink::SerialLine> master_;
    ModemEmulatorOptions options_;

    mutable std::mutex mutex_;
    ModemDevice device_;
    std::vector<std::string> problems_;
    std::atomic<bool> vanished_{false};
    std::atomic<bool> stopping_{false};
    std::thread server_;
};

} // namespace marlow::emulators
