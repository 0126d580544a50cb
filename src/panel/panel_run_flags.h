#pragma once
// The run's flags the panel reads and resets: the wiring points them at its
// handset run (g_AllDownLoad, m_DownSelect), its run context (the
// flash-write flag) and at the panel's phone engine (its m_PhoneUsbWait count). A flag left unset
// is kept by the panel itself, so the panel also stands alone (tests, pictures).

#include <atomic>
#include <functional>

namespace marlow::panel {

struct PanelRunFlags {
    std::atomic<bool>* g_AllDownLoad = nullptr;
    std::atomic<int>* m_DownSelect = nullptr;
    std::atomic<bool>* flashWriting = nullptr; // the PDA writes its flash
    std::function<void()> clearPhoneUsbWait;   // m_PhoneUsbWait = 0
};

} // namespace marlow::panel
