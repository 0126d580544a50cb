#include "debugport/debug_port_problem.h"

#include <QFileInfo>
#include <filesystem>

namespace marlow::debugport {

DeviceFacts DeviceFactsOf(const std::string& device) {
    std::error_code error;
    const std::filesystem::file_status status = std::filesystem::status(device, error);
    const QFileInfo info(QString::fromStdString(device));
    DeviceFacts facts;
    facts.exists = !error && std::filesystem::exists(status);
    facts.characterDevice = facts.exists && std::filesystem::is_character_file(status);
    facts.accessible = facts.exists && info.isReadable() && info.isWritable();
    return facts;
}

// Qt calls a busy device a permission error too; whether this user may use
// the node at all tells the two apart.
OpenProblem ClassifyOpenFailure(QSerialPort::SerialPortError error, const DeviceFacts& facts) {
    if (!facts.exists || error == QSerialPort::DeviceNotFoundError)
        return OpenProblem::Missing;
    if (!facts.characterDevice)
        return OpenProblem::NotASerialPort;
    if (!facts.accessible)
        return OpenProblem::NoPermission;
    if (error == QSerialPort::PermissionError)
        return OpenProblem::Busy;
    return OpenProblem::Other;
}

std::string OpenProblemText(OpenProblem problem, std::string_view device,
                            std::string_view systemText) {
    const std::string name(device);
    switch (problem) {
    case OpenProblem::Missing:
        return name + " does not exist: plug the serial adapter in, or choose another port "
                      "on the Port Setting page.";
    case OpenProblem::NoPermission:
        return "You may not open " + name +
               ": add your user to the \"dialout\" group (sudo usermod -aG dialout $USER), "
               "then log in again.";
    case OpenProblem::Busy:
        return name + " is in use by another program: close that program, or choose another "
                      "port.";
    case OpenProblem::NotASerialPort:
        return name + " is not a serial port: choose a serial device such as /dev/ttyUSB0.";
    case OpenProblem::Other:
        break;
    }
    return name + ": " + std::string(systemText);
}

} // namespace marlow::debugport
