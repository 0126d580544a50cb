#pragma once
// What the phone download talks to when the modem download library could
// not be loaded: every call fails at once with the reason as its status
// text, so the operator reads why instead of nothing happening.

#include "phone/phone_library.h"

#include <string>

namespace marlow::gui {

class UnavailablePhoneLibrary : public phone::PhoneLibrary {
public:
    explicit UnavailablePhoneLibrary(std::string reason) : reason_(std::move(reason)) {}

    void AttachReports(phone::ReportReceiver&, phone::StatusText&) override {}
    void DetachReports() override {}
    std::uint32_t OpenCommPort(std::uint8_t, const std::string&, std::uint32_t,
                               phone::StatusText& status) override {
        return Fail(status);
    }
    std::uint32_t CloseCommPort(std::uint8_t, phone::StatusText& status) override {
        return Fail(status);
    }
    std::uint32_t BootTarget(std::uint8_t, const std::string&, phone::ControlBlock&,
                             phone::StatusText& status) override {
        return Fail(status);
    }
    std::uint32_t DownloadFlsFile(std::uint8_t, const std::string&,
                                  phone::StatusText& status) override {
        return Fail(status);
    }
    std::uint32_t DownloadEepFile(std::uint8_t, const std::string&, std::uint32_t,
                                  phone::StatusText& status) override {
        return Fail(status);
    }
    std::uint32_t AbortProcess(std::uint8_t, phone::StatusText& status) override {
        return Fail(status);
    }
    std::uint32_t EndOfProcess(std::uint8_t, phone::StatusText& status) override {
        return Fail(status);
    }

private:
    std::uint32_t Fail(phone::StatusText& status) {
        status.Set(reason_);
        return phone::kCallFailed;
    }

    std::string reason_;
};

} // namespace marlow::gui
