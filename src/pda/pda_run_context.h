#pragma once
// What one PDA download runs with: what the operator chose (path, target,
// presentation, Phone option), whether a device is connected, the
// flash-write flag the front panel's animation reads while the handset
// writes its flash, and how the run's
// pauses are spent. Everything else a run decides on is its own (see
// PdaRunOutcome); one context per handset, so several download at once.

#include "pda/download_plan_check.h"
#include "pda/download_target.h"

#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <optional>
#include <string>

namespace marlow::pda {

struct PdaSettings {
    std::string downloadPath; // ".bin" or ".lst"
    DownloadTarget target = DownloadTarget::Ram;
    // Which presentation shows the run (for receivers that can show either).
    bool frontPanelMode = false;
    // The option flag "Phone": a phone download follows, so the run ends
    // with PHONE_DOWN_CMD even when its file names no phone files.
    bool phoneOption = false;
    // The download command checks the file whole before the handset is
    // touched (the windows; a command has checked it, or keeps the historic
    // sequence with --no-check).
    bool checkPlan = false;
};

using PauseFunction = std::function<void(std::chrono::milliseconds)>;

class PdaRunContext {
public:
    PdaRunContext() = default;
    explicit PdaRunContext(PdaSettings settings) : settings_(std::move(settings)) {}
    PdaRunContext(const PdaRunContext&) = delete;
    PdaRunContext& operator=(const PdaRunContext&) = delete;

    // A run copies the settings once at its start.
    PdaSettings Settings() const {
        std::lock_guard lock(mutex_);
        return settings_;
    }
    void SetSettings(PdaSettings settings) {
        std::lock_guard lock(mutex_);
        settings_ = std::move(settings);
    }

    // What the whole-file check found, when it ran: a run then sends only
    // those files, unchanged since (see FileIdentity), and fails with the
    // reason when one changed. Without it (the historic sequence) a run
    // sends what it finds.
    std::optional<DownloadPlan> CheckedPlan() const {
        std::lock_guard lock(mutex_);
        return checkedPlan_;
    }
    void SetCheckedPlan(std::optional<DownloadPlan> plan) {
        std::lock_guard lock(mutex_);
        checkedPlan_ = std::move(plan);
    }

    // A device is open on the bus (the device watcher keeps it).
    std::atomic<bool> deviceConnected{false};
    // Set while the handset writes its flash (the run clears it as it ends).
    std::atomic<bool> flashWriting{false};

    // The download thread's 100 ms waits. Unset: a sleep that a stop request
    // cuts short. Tests count the pauses instead of sleeping.
    PauseFunction pause;

private:
    mutable std::mutex mutex_;
    PdaSettings settings_;
    std::optional<DownloadPlan> checkedPlan_;
};

} // namespace marlow::pda
