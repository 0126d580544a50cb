#pragma once
// The modem side of the program, shared by the main window and the front
// panel: the download library (MARLOW_DOWNLOAD_LIBRARY, else the settings,
// else beside the program; a stand-in that fails every call with the reason
// when none loads) and the search for the modem's port (MARLOW_MODEM_PORT
// names a virtual handset's port directly).

#include "phone/phone_library.h"
#include "phone/phone_ports.h"

#include <QSettings>
#include <cstddef>
#include <memory>
#include <string>

namespace marlow::gui {

struct ProgramPhone {
    std::unique_ptr<phone::PhoneLibrary> library;
    std::string libraryProblem; // empty when the library loaded
    std::unique_ptr<phone::PhonePortSource> portSource;
    std::unique_ptr<phone::PhonePortLocator> ports;
};

// `portList`: how many port numbers the owner's search keeps.
ProgramPhone MakeProgramPhone(const QSettings& store, std::size_t portList);

} // namespace marlow::gui
