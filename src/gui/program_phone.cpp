#include "gui/program_phone.h"

#include "gui/unavailable_phone_library.h"
#include "phone/library_location.h"
#include "phone/phone_settings.h"
#include "phone/serial_port_source.h"

#include <QCoreApplication>

namespace marlow::gui {

namespace {

// A virtual handset names the modem's port directly.
std::unique_ptr<phone::PhonePortLocator>
ModemPorts(phone::PhonePortSource& source, const QSettings& settings, std::size_t portList) {
    const QByteArray fixed = qgetenv("MARLOW_MODEM_PORT");
    if (!fixed.isEmpty())
        return std::make_unique<phone::FixedPhonePort>(fixed.toStdString());
    return std::make_unique<phone::DiscoveredPhonePort>(
        source, phone::PhonePortPatternSetting(settings).toStdString(), portList);
}

QString LibraryPath(const QSettings& settings) {
    const QByteArray fromEnvironment = qgetenv("MARLOW_DOWNLOAD_LIBRARY");
    if (!fromEnvironment.isEmpty())
        return QString::fromLocal8Bit(fromEnvironment);
    return phone::PhoneLibrarySetting(settings);
}

} // namespace

ProgramPhone MakeProgramPhone(const QSettings& store, std::size_t portList) {
    ProgramPhone made;
    auto located =
        phone::LocateDownloadLibrary(LibraryPath(store), QCoreApplication::applicationDirPath());
    made.libraryProblem = located.Error();
    if (located)
        made.library = std::move(*located);
    else
        made.library = std::make_unique<UnavailablePhoneLibrary>(made.libraryProblem);
    made.portSource = std::make_unique<phone::SerialPortSource>();
    made.ports = ModemPorts(*made.portSource, store, portList);
    return made;
}

} // namespace marlow::gui
