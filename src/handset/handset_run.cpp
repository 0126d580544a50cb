#include "handset/handset_run.h"

namespace marlow::handset {

void HandsetRun::Begin(RunMode mode) {
    {
        std::lock_guard lock(mutex_);
        handOver_.reset();
    }
    switch (mode) {
    case RunMode::PdaOnly:
        m_DownSelect = ONLY_PDA_DOWN;
        return;
    case RunMode::PhoneOnly:
        m_DownSelect = ONLY_PHONE_DOWN;
        return;
    case RunMode::Total:
        m_DownSelect = ONLY_PDA_DOWN;
        g_AllDownLoad = false; // a phone half is to follow
        return;
    }
}

pda::PdaSettings HandsetRun::PdaSettingsFor(pda::PdaSettings settings) const {
    if (PhoneHalfPlanned())
        settings.phoneOption = true;
    return settings;
}

bool HandsetRun::PdaHalfEnded(const pda::PdaRunOutcome& outcome) {
    if (!outcome.handOver)
        return false;
    {
        std::lock_guard lock(mutex_);
        handOver_ = outcome.handOver;
    }
    // What remains is the phone's part.
    g_AllDownLoad = true;
    m_DownSelect = ONLY_PHONE_DOWN;
    return true;
}

AfterPda HandsetRun::PdaHandsetLeft() const {
    if (PdaHalfSelected() && g_AllDownLoad)
        return AfterPda::Done;
    return PhoneHalfSelected() ? AfterPda::PhoneHalf : AfterPda::NotHandedOver;
}

phone::PhoneFileSet HandsetRun::HandedOverFiles() const {
    std::lock_guard lock(mutex_);
    return handOver_ ? handOver_->listFiles : phone::PhoneFileSet{};
}

void HandsetRun::TakeHandedOverFiles(phone::PhoneFileSet& held) const {
    const phone::PhoneFileSet named = HandedOverFiles();
    for (std::size_t role = 0; role < phone::kPhoneRoleCount; ++role)
        if (!named.roles[role].path.empty() || !named.roles[role].displayName.empty())
            held.roles[role] = named.roles[role];
}

void HandsetRun::StartPhoneHalf(phone::PhoneEngine& phone) const {
    phone.BeginPanelPortWait(HandOverPort());
}

std::string HandsetRun::HandOverPort() const {
    std::lock_guard lock(mutex_);
    return handOver_ ? handOver_->usbPortPath : std::string();
}

void HandsetRun::End() {
    g_AllDownLoad = true;
    m_DownSelect = 0;
}

} // namespace marlow::handset
