#pragma once
// Why a debug port did not open, in words that tell the operator what to do
// next. The caller puts the port's name and its own fixed text in front
// (" Port Open failed"), this text goes on the next line.

#include <QSerialPort>
#include <string>
#include <string_view>

namespace marlow::debugport {

enum class OpenProblem {
    Missing,        // no such device: unplugged, or a mistyped name
    NoPermission,   // the device exists but this user may not open it
    Busy,           // another program holds it
    NotASerialPort, // a file or folder, not a terminal device
    Other,          // the system's own words
};

// What the device node looks like after a failed open.
struct DeviceFacts {
    bool exists = false;
    bool characterDevice = false;
    bool accessible = false; // readable and writable by this user
};

DeviceFacts DeviceFactsOf(const std::string& device);

OpenProblem ClassifyOpenFailure(QSerialPort::SerialPortError error, const DeviceFacts& facts);

std::string OpenProblemText(OpenProblem problem, std::string_view device,
                            std::string_view systemText);

} // namespace marlow::debugport
