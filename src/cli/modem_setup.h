#pragma once
// The phone commands' shared set-up: which download library, which port.

#include "phone/phone_ports.h"
#include "phone/vendor_library.h"

#include <QString>
#include <memory>
#include <string>

namespace marlow::cli {

// `--library` when given, else the "PhoneLibrary" setting, else the copy
// shipped beside marlow-cli, else the system's search. nullptr when none
// loads, with the reason told on stderr under the command's name.
std::unique_ptr<phone::VendorLibrary> LoadPhoneLibrary(const std::string& command,
                                                       const QString& libraryOption);

struct PhoneCliPorts {
    std::unique_ptr<phone::PhonePortSource> source;
    std::unique_ptr<phone::PhonePortLocator> locator;
};

// `--port` names the port outright; otherwise the modem's USB serial ports
// are discovered and named with `--port-pattern`, the "PhonePortPattern"
// setting or the platform's pattern.
PhoneCliPorts MakePhonePorts(const QString& portOption, const QString& patternOption,
                             std::size_t capacity);

// The package and its four files, looked at before the modem is booted.
// False, with each problem told on stderr, when the package does not open
// (with the reason) or a file cannot go. A package the run refuses for what
// it holds passes here: the run reports it in its own words.
bool PackageFilesReady(const std::string& command, const std::string& packagePath);

} // namespace marlow::cli
