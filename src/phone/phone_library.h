#pragma once
// The engine's view of the modem download library: one call per entry
// point, each with the owner's status text. Production binds the real shared
// library (VendorLibrary); tests lend an in-process fake.

#include "phone/status_text.h"

#include <array>
#include <cstdint>
#include <string>

namespace marlow::phone {

inline constexpr std::uint32_t kPhoneBaudRate = 460800;
inline constexpr std::uint32_t kCallFailed = IFWD_DL_Error;

using ControlBlock = std::array<std::uint8_t, IFWD_DL_CONTROL_BLOCK_SIZE>;

// Where the library's reports go. Called on a thread of the library.
class ReportReceiver {
public:
    virtual ~ReportReceiver() = default;
    virtual void ReceiveReport(std::uint8_t channel, std::uint32_t code, const char* text) = 0;
};

class PhoneLibrary {
public:
    virtual ~PhoneLibrary() = default;

    // Registers the report function and makes the parameter calls. Reports
    // reach `receiver` until DetachReports returns.
    virtual void AttachReports(ReportReceiver& receiver, StatusText& status) = 0;
    // After this returns no report is delivered, nor is one still running.
    virtual void DetachReports() = 0;

    virtual std::uint32_t OpenCommPort(std::uint8_t channel, const std::string& port,
                                       std::uint32_t baud, StatusText& status) = 0;
    virtual std::uint32_t CloseCommPort(std::uint8_t channel, StatusText& status) = 0;
    virtual std::uint32_t BootTarget(std::uint8_t channel, const std::string& flsPath,
                                     ControlBlock& controlBlock, StatusText& status) = 0;
    virtual std::uint32_t DownloadFlsFile(std::uint8_t channel, const std::string& path,
                                          StatusText& status) = 0;
    virtual std::uint32_t DownloadEepFile(std::uint8_t channel, const std::string& path,
                                          std::uint32_t option, StatusText& status) = 0;
    virtual std::uint32_t AbortProcess(std::uint8_t channel, StatusText& status) = 0;
    virtual std::uint32_t EndOfProcess(std::uint8_t channel, StatusText& status) = 0;
};

} // namespace marlow::phone
