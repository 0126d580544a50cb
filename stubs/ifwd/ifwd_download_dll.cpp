// The library's C entry points: argument checks, the status text, and the
// hand-over to StandInLibrary.

#include "phone/ifwd_download_dll.h"

#include "stand_in_library.h"

#include <algorithm>
#include <cstring>

using marlow::ifwd::StandInLibrary;
using marlow::modem::ControlBlock;
using marlow::modem::FileKind;

namespace {

constexpr const char* kVersion = "IFWD_DownloadDll stand-in 1.0 (Marlow)";

void SetStatus(char* status, const std::string& text) {
    if (status == nullptr)
        return;
    const std::size_t length = std::min<std::size_t>(text.size(), IFWD_DL_STATUS_SIZE - 1);
    std::memcpy(status, text.data(), length);
    status[length] = '\0';
}

std::string Text(const char* text) {
    return text != nullptr ? std::string(text) : std::string();
}

uint32_t Outcome(bool ok, const std::string& error, char* status) {
    if (ok)
        return 0;
    SetStatus(status, error);
    return IFWD_DL_Error;
}

} // namespace

extern "C" {

void _IFWD_DL_init_callback(IFWD_DL_report report, char* status) {
    StandInLibrary::Instance().SetReport(report);
    SetStatus(status, "");
}

void _IFWD_DL_set_dll_parameter(uint32_t id, uint32_t value, char* status) {
    StandInLibrary::Instance().SetParameter(id, value);
    SetStatus(status, "");
}

uint32_t _IFWD_DL_open_comm_port(uint8_t channel, const char* port, const char* port_again,
                                 uint32_t baud, char* status) {
    std::string error;
    if (port == nullptr || *port == '\0')
        return Outcome(false, "No modem port given", status);
    if (port_again != nullptr && std::strcmp(port, port_again) != 0)
        return Outcome(false, "The two port names differ", status);
    const bool ok = StandInLibrary::Instance().OpenPort(channel, port, baud, &error);
    return Outcome(ok, error, status);
}

uint32_t _IFWD_DL_close_comm_port(uint8_t channel, char* status) {
    StandInLibrary::Instance().ClosePort(channel);
    (void)status;
    return 0;
}

uint32_t _IFWD_DL_boot_target(uint8_t channel, const char* fls_path, uint8_t* control_block_6,
                              char* status) {
    ControlBlock controlBlock{};
    if (control_block_6 != nullptr)
        std::copy_n(control_block_6, controlBlock.size(), controlBlock.begin());
    std::string error;
    const bool ok = StandInLibrary::Instance().Boot(channel, Text(fls_path), controlBlock, &error);
    return Outcome(ok, error, status);
}

uint32_t _IFWD_DL_download_fls_file(uint8_t channel, const char* path, char* status) {
    std::string error;
    const bool ok =
        StandInLibrary::Instance().Download(channel, FileKind::Fls, Text(path), 0, &error);
    return Outcome(ok, error, status);
}

uint32_t _IFWD_DL_download_eep_file(uint8_t channel, const char* path, uint32_t option,
                                    char* status) {
    std::string error;
    const bool ok =
        StandInLibrary::Instance().Download(channel, FileKind::Eep, Text(path), option, &error);
    return Outcome(ok, error, status);
}

uint32_t _IFWD_DL_abort_process(uint8_t channel, char* status) {
    StandInLibrary::Instance().Abort(channel);
    (void)status;
    return 0;
}

uint32_t _IFWD_DL_end_of_process(uint8_t channel, char* status) {
    std::string error;
    const bool ok = StandInLibrary::Instance().EndOfProcess(channel, &error);
    return Outcome(ok, error, status);
}

uint32_t _IFWD_DL_get_dll_version(char* version, uint32_t size) {
    if (version == nullptr || size == 0)
        return IFWD_DL_Error;
    const std::size_t length = std::min<std::size_t>(std::strlen(kVersion), size - 1);
    std::memcpy(version, kVersion, length);
    version[length] = '\0';
    return 0;
}

uint32_t _IFWD_DL_set_get_control_signal(uint8_t, uint32_t, uint32_t, char* status) {
    SetStatus(status, "Control signals are not supported by this library");
    return IFWD_DL_Error;
}

uint32_t _IFWD_DL_force_target_reset(uint8_t, uint32_t, char* status) {
    SetStatus(status, "Target reset is not supported by this library");
    return IFWD_DL_Error;
}

} // extern "C"
