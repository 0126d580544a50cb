#pragma once
// The PDA download's program-wide data: what the operator chose (path,
// target, presentation, Phone option) and the flags that the download
// thread, the device watcher and the front panel share. The GUI keeps one
// context; the CLI keeps one per handset so that several download at once.
//
// Flags written on one thread and read on another are atomics. The phone
// file set is filled by the download thread and read by the phone download
// after the device has gone; a mutex keeps a reader from seeing half of it.

#include "pda/download_plan_check.h"
#include "pda/download_target.h"
#include "phone/phone_files.h"

#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <optional>
#include <string>

namespace marlow::pda {

// The front panel's selection bits (`m_DownSelect`).
inline constexpr int ONLY_PDA_DOWN = 1;
inline constexpr int ONLY_PHONE_DOWN = 2;

struct PdaSettings {
    std::string downloadPath; // ".bin" or ".lst"
    DownloadTarget target = DownloadTarget::Ram;
    bool frontPanelMode = false;
    bool phoneOption = false; // option flag "Phone": a phone download follows
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

    phone::PhoneFileSet PhoneFiles() const {
        std::lock_guard lock(mutex_);
        return phoneFiles_;
    }
    void SetPhoneFile(phone::PhoneFileRole role, phone::PhoneFileEntry entry) {
        std::lock_guard lock(mutex_);
        phoneFiles_[role] = std::move(entry);
    }

    // The handset documentation's flags, under their historic names.
    std::atomic<bool> g_AllDownLoad{true}; // TRUE: no phone download remains after this one
    std::atomic<int> m_DownSelect{0};

    std::atomic<bool> aborted{false};
    std::atomic<bool> deviceConnected{false};
    std::atomic<bool> cancelled{false}; // the front panel's Stop
    // Front panel: set while the handset writes its flash.
    std::atomic<bool> flashWriting{false};

    // The download thread's 100 ms waits. Unset: a sleep that a stop request
    // cuts short. Tests count the pauses instead of sleeping.
    PauseFunction pause;

private:
    mutable std::mutex mutex_;
    PdaSettings settings_;
    std::optional<DownloadPlan> checkedPlan_;
    phone::PhoneFileSet phoneFiles_;
};

} // namespace marlow::pda
