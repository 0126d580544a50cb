// The library's C entry points: argument checks, the status text, and the
// hand-over to StandInLibrary.

#include "phone/ifwd_download_dll.h"

#include "stand_in_library.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string_view>

using marlow::Failure;
using marlow::Status;
using marlow::ifwd::StandInLibrary;
using marlow::modemlink::ControlBlock;
using marlow::modemlink::FileKind;

namespace {

constexpr const char* kVersion = "IFWD_DownloadDll stand-in 1.0 (Marlow)";

// Writes without allocating, so it also serves when memory has run out.
void SetStatus(char* status, std::string_view text) {
    if (status == nullptr)
        return;
    const std::size_t length = std::min<std::size_t>(text.size(), IFWD_DL_STATUS_SIZE - 1);
    std::memcpy(status, text.data(), length);
    status[length] = '\0';
}

void SetFailure(char* status, const char* entry, const char* what) {
    if (status != nullptr)
        std::snprintf(status, IFWD_DL_STATUS_SIZE, "The download library failed in %s: %s", entry,
                      what);
}

std::string Text(const char* text) {
    return text != nullptr ? std::string(text) : std::string();
}

// Every entry point is a C boundary: nothing thrown behind it may cross it.
// A failure of the library itself becomes a refused call with its reason in
// the status text, as any other refusal.
template <typename Body> uint32_t Guarded(const char* entry, char* status, Body body) noexcept {
    try {
        const Status done = body();
        if (done)
            return 0;
        SetStatus(status, done.Error());
    } catch (const std::exception& e) {
        SetFailure(status, entry, e.what());
    } catch (...) {
        SetFailure(status, entry, "an unknown error");
    }
    return IFWD_DL_Error;
}

} // namespace

extern "C" {

void _IFWD_DL_init_callback(IFWD_DL_report report, char* status) {
    StandInLibrary::Instance().SetReport(report);
    SetStatus(status, "");
}

void _IFWD_DL_set_dll_parameter(uint32_t id, uint32_t value, char* status) {
    Guarded(__func__, status, [&] {
        StandInLibrary::Instance().SetParameter(id, value);
        SetStatus(status, "");
        return Status();
    });
}

uint32_t _IFWD_DL_open_comm_port(uint8_t channel, const char* port, const char* port_again,
                                 uint32_t baud, char* status) {
    return Guarded(__func__, status, [&]() -> Status {
        if (port == nullptr || *port == '\0')
            return Failure{"No modem port given"};
        if (port_again != nullptr && std::strcmp(port, port_again) != 0)
            return Failure{"The two port names differ"};
        return StandInLibrary::Instance().OpenPort(channel, port, baud);
    });
}

uint32_t _IFWD_DL_close_comm_port(uint8_t channel, char* status) {
    return Guarded(__func__, status, [&] {
        StandInLibrary::Instance().ClosePort(channel);
        return Status();
    });
}

uint32_t _IFWD_DL_boot_target(uint8_t channel, const char* fls_path, uint8_t* control_block_6,
                              char* status) {
    return Guarded(__func__, status, [&] {
        ControlBlock controlBlock{};
        if (control_block_6 != nullptr)
            std::copy_n(control_block_6, controlBlock.size(), controlBlock.begin());
        return StandInLibrary::Instance().Boot(channel, Text(fls_path), controlBlock);
    });
}

uint32_t _IFWD_DL_download_fls_file(uint8_t channel, const char* path, char* status) {
    return Guarded(__func__, status, [&] {
        return StandInLibrary::Instance().Download(channel, FileKind::Fls, Text(path), 0);
    });
}

uint32_t _IFWD_DL_download_eep_file(uint8_t channel, const char* path, uint32_t option,
                                    char* status) {
    return Guarded(__func__, status, [&] {
        return StandInLibrary::Instance().Download(channel, FileKind::Eep, Text(path), option);
    });
}

uint32_t _IFWD_DL_abort_process(uint8_t channel, char* status) {
    return Guarded(__func__, status, [&] {
        StandInLibrary::Instance().Abort(channel);
        return Status();
    });
}

uint32_t _IFWD_DL_end_of_process(uint8_t channel, char* status) {
    return Guarded(__func__, status,
                   [&] { return StandInLibrary::Instance().EndOfProcess(channel); });
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
