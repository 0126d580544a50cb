#pragma once
// HandsetRun: one handset's run as its front end drives it (the main window,
// the front panel, `marlow-cli total`): which halves the operator chose, the
// PDA download's hand-over to the modem (PHONE_DOWN_CMD) and with which phone
// files, and what follows once the handset has left the bus: nothing more,
// or the wait for that handset's modem port and the phone download. The
// decision "does a phone download follow the PDA download" is taken here and
// nowhere else; the front ends only show its outcome in their own words.
//
// The run keeps the handset documentation's two flags (`m_DownSelect`,
// `g_AllDownLoad`), which the front panel's displays read; a hand-over sets
// them from the download thread the moment the PDA half ends, so the phone
// half is selected before the handset's removal is heard. Everything else is
// called on the owner's thread. One object per handset: nothing is shared
// between runs.

#include "pda/pda_download.h"
#include "phone/phone_engine.h"

#include <atomic>
#include <mutex>
#include <optional>
#include <string>

namespace marlow::handset {

// The front panel's selection bits (`m_DownSelect`).
inline constexpr int ONLY_PDA_DOWN = 1;
inline constexpr int ONLY_PHONE_DOWN = 2;

// What the operator chose for the handset.
enum class RunMode { PdaOnly, PhoneOnly, Total };

// What follows a PDA download whose handset has left the bus after its last
// command went out.
enum class AfterPda {
    Done,          // the PDA download was the whole run
    PhoneHalf,     // it handed over: the phone half follows (StartPhoneHalf)
    NotHandedOver, // a phone half was to follow, but nothing was handed over
};

class HandsetRun {
public:
    HandsetRun() = default;
    HandsetRun(const HandsetRun&) = delete;
    HandsetRun& operator=(const HandsetRun&) = delete;

    // Down Start: the halves the run is to go through. A Total run's PDA
    // half ends with the hand-over whatever its file names (PdaSettings).
    void Begin(RunMode mode);
    // The settings a PDA half of this run downloads with.
    pda::PdaSettings PdaSettingsFor(pda::PdaSettings settings) const;

    bool PdaHalfSelected() const { return (m_DownSelect & ONLY_PDA_DOWN) != 0; }
    // The phone half is this run's part now (the engine's reports count).
    bool PhoneHalfSelected() const {
        return (m_DownSelect & ONLY_PHONE_DOWN) != 0 && g_AllDownLoad;
    }
    // A phone half is still to follow the PDA half.
    bool PhoneHalfPlanned() const { return !g_AllDownLoad; }

    // As a PDA half ends (on any thread): a hand-over selects the phone half
    // and keeps the files it named. True when it handed over.
    bool PdaHalfEnded(const pda::PdaRunOutcome& outcome);
    // The PDA half's handset has left after its last command (PdaHalfEnded
    // has been told how that half ended). The one hand-over decision.
    AfterPda PdaHandsetLeft() const;
    // The files a hand-over named (a role it did not name stays empty).
    phone::PhoneFileSet HandedOverFiles() const;
    // The USB port path the handset left from; empty where unknown.
    std::string HandOverPort() const;
    // The hand-over's files replace the roles they name in `held`; the
    // others keep what is held, as a package's would.
    void TakeHandedOverFiles(phone::PhoneFileSet& held) const;
    // The phone half on `phone` (the front end's engine, holding the files):
    // the wait for the modem port on the USB port the handset left from (any
    // modem port where that is unknown), then the download.
    void StartPhoneHalf(phone::PhoneEngine& phone) const;
    // The operator gave up on the phone half still to come.
    void DropPhoneHalf() { g_AllDownLoad = true; }
    // Nothing follows any more: g_AllDownLoad TRUE, m_DownSelect 0.
    void End();

    // The handset documentation's flags, under their historic names.
    std::atomic<int> m_DownSelect{0};
    std::atomic<bool> g_AllDownLoad{true}; // TRUE: no phone half remains

private:
    mutable std::mutex mutex_;
    std::optional<pda::HandOver> handOver_;
};

} // namespace marlow::handset
