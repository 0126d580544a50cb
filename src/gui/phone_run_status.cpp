#include "gui/phone_run_status.h"

#include "phone/phone_files.h"

#include <cstdio>

namespace marlow::gui {

namespace {

using phone::PhoneState;

struct Part {
    PhoneState state;
    const char* label; // as the front panel shows the step
    phone::PhoneFileRole role;
};

constexpr Part kParts[] = {
    {phone::stDownloadPsi, "Downloading PSI", phone::PhoneFileRole::PsiLoader},
    {phone::stDownloadSlb, "Downloading SLB", phone::PhoneFileRole::SecondStageLoader},
    {phone::stDownloadFls, "Downloading FLS", phone::PhoneFileRole::Firmware},
    {phone::stDownloadEep, "Downloading EEPROM", phone::PhoneFileRole::Eeprom},
};

// Null for the end of process, the one step after the four parts.
const Part* PartOf(PhoneState state) {
    for (const Part& part : kParts)
        if (part.state == state)
            return &part;
    return nullptr;
}

constexpr const char* kTryAgain = "Press Phone Download Cancel, check the phone's USB cable and "
                                  "start the phone download again.";

} // namespace

void PhoneRunStatus::Started() {
    end_.reset();
    lastState_ = phone::stIdle;
    Enter(Phase::WaitingForPort);
}

// Idle in the middle of a run is the engine between two of its own steps
// (or on its way out): it says nothing about where the run is.
void PhoneRunStatus::Follow(PhoneState state) {
    if (!Running() || state == phone::stIdle || state == lastState_)
        return;
    lastState_ = state;
    const bool booting = state == phone::stBooting || state == phone::stReBooting;
    Enter(booting ? Phase::Booting : Phase::Downloading);
}

void PhoneRunStatus::Ended(phone::PhoneRunEnd end) {
    endedIn_ = phase_;
    endedInState_ = lastState_;
    end_ = end;
    Enter(Phase::Ended);
}

// A cancel after the verdict (the way back to a new start) keeps the verdict.
void PhoneRunStatus::Cancelled() {
    if (Running())
        Enter(Phase::Cancelled);
}

bool PhoneRunStatus::Running() const {
    return phase_ == Phase::WaitingForPort || phase_ == Phase::Booting ||
           phase_ == Phase::Downloading;
}

bool PhoneRunStatus::Counting() const {
    return phase_ == Phase::WaitingForPort || phase_ == Phase::Booting;
}

void PhoneRunStatus::Enter(Phase phase) {
    phase_ = phase;
    since_ = now_();
}

std::string PhoneRunStatus::Elapsed() const {
    // To the nearest second: a once-a-second tick may come a little early.
    const auto seconds = std::chrono::round<std::chrono::seconds>(now_() - since_).count();
    char text[32];
    if (seconds < 60)
        std::snprintf(text, sizeof text, "%lld s", static_cast<long long>(seconds));
    else
        std::snprintf(text, sizeof text, "%lld min %02lld s", static_cast<long long>(seconds / 60),
                      static_cast<long long>(seconds % 60));
    return text;
}

std::string PhoneRunStatus::StatusText() const {
    switch (phase_) {
    case Phase::Idle:
        return {};
    case Phase::WaitingForPort:
        return "Wait For Phone USB... " + Elapsed();
    case Phase::Booting:
        return "Booting... " + Elapsed();
    case Phase::Downloading:
        return PartOf(lastState_) ? PartOf(lastState_)->label : "Ending the phone download";
    case Phase::Cancelled:
        return "Phone Download Cancelled";
    case Phase::Ended:
        break;
    }
    switch (*end_) {
    case phone::PhoneRunEnd::Succeeded:
        return "Phone Downloaded Successfully!";
    case phone::PhoneRunEnd::PortNotFound:
        return "Phone USB is not Connected...";
    case phone::PhoneRunEnd::Failed:
        break;
    }
    return "Phone Downloaded Fail! " + WhatFailed();
}

std::string PhoneRunStatus::WhatFailed() const {
    switch (endedIn_) {
    case Phase::WaitingForPort:
        return "The modem's port did not open.";
    case Phase::Booting:
        return "The modem did not boot.";
    default:
        break;
    }
    if (const Part* part = PartOf(endedInState_))
        return std::string("Downloading the ") + phone::PhoneFileRoleName(part->role) + " failed.";
    return "Ending the phone download failed.";
}

std::optional<std::string> PhoneRunStatus::FailureAdvice() const {
    if (phase_ != Phase::Ended || *end_ == phone::PhoneRunEnd::Succeeded)
        return std::nullopt;
    if (*end_ == phone::PhoneRunEnd::PortNotFound)
        return std::string("Phone USB is not Connected...\nNo modem port appeared. ") + kTryAgain +
               " Some handsets need their download key held while the cable goes in.";
    return "Phone Downloaded Fail! " + WhatFailed() + "\n" + kTryAgain +
           " The Device State Window shows each step.";
}

} // namespace marlow::gui
