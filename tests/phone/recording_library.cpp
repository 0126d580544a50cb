// A download library for binding tests: it only writes down how it was
// called, and can send a report through the registered function on demand.
// It can also misbehave in one entry point: throw, or refuse without a word.
// Built twice, once without the boot entry point.

#include "phone/ifwd_download_dll.h"

#include <cstring>
#include <mutex>
#include <stdexcept>
#include <string>

namespace {

std::mutex mutex;
std::string calls;
IFWD_DL_report report = nullptr;

std::string misbehaving; // the entry point's name without "_IFWD_DL_"
bool throwing = false;   // else it refuses, leaving the status text empty

// Writes the call down and gives the entry point's result.
uint32_t Note(const std::string& call) {
    const std::lock_guard lock(mutex);
    calls += call + "\n";
    const std::string entry = call.substr(0, call.find(' '));
    if (entry == misbehaving && throwing)
        throw std::runtime_error("disk on fire");
    return entry == misbehaving ? IFWD_DL_Error : 0;
}

} // namespace

extern "C" {

IFWD_DL_EXPORT void RecordedCalls(char* out, uint32_t size) {
    const std::lock_guard lock(mutex);
    std::strncpy(out, calls.c_str(), size - 1);
    out[size - 1] = '\0';
    calls.clear();
}

IFWD_DL_EXPORT void Misbehave(const char* entry, bool throwIt) {
    misbehaving = entry;
    throwing = throwIt;
}

IFWD_DL_EXPORT void FireReport(uint8_t channel, uint32_t code, const char* text) {
    if (report != nullptr)
        report(channel, code, text);
}

void _IFWD_DL_init_callback(IFWD_DL_report function, char*) {
    report = function;
    Note("init_callback");
}

void _IFWD_DL_set_dll_parameter(uint32_t id, uint32_t value, char*) {
    Note("set_dll_parameter " + std::to_string(id) + " " + std::to_string(value));
}

uint32_t _IFWD_DL_open_comm_port(uint8_t channel, const char* port, const char* again,
                                 uint32_t baud, char* status) {
    if (Note("open_comm_port " + std::to_string(channel) + " " + port + " " + again + " " +
             std::to_string(baud)) != 0)
        return IFWD_DL_Error;
    std::strcpy(status, "opened");
    return 0;
}

uint32_t _IFWD_DL_close_comm_port(uint8_t channel, char*) {
    return Note("close_comm_port " + std::to_string(channel));
}

#ifndef LEAVE_OUT_BOOT
uint32_t _IFWD_DL_boot_target(uint8_t channel, const char* path, uint8_t* block, char*) {
    return Note("boot_target " + std::to_string(channel) + " " + path + " " +
                std::to_string(block[0]));
}
#endif

uint32_t _IFWD_DL_download_fls_file(uint8_t channel, const char* path, char*) {
    return Note("download_fls_file " + std::to_string(channel) + " " + path);
}

uint32_t _IFWD_DL_download_eep_file(uint8_t channel, const char* path, uint32_t option, char*) {
    return Note("download_eep_file " + std::to_string(channel) + " " + path + " " +
                std::to_string(option));
}

uint32_t _IFWD_DL_abort_process(uint8_t channel, char*) {
    return Note("abort_process " + std::to_string(channel));
}

uint32_t _IFWD_DL_end_of_process(uint8_t channel, char*) {
    return Note("end_of_process " + std::to_string(channel));
}

} // extern "C"
