#include "cli/modem_setup.h"

#include "cli/arguments.h"
#include "cli/output.h"
#include "cli/settings_store.h"
#include "phone/library_location.h"
#include "phone/phone_file_check.h"
#include "phone/phone_package.h"
#include "phone/phone_settings.h"
#include "phone/serial_port_source.h"

#include <QCoreApplication>

namespace marlow::cli {

std::unique_ptr<phone::VendorLibrary> LoadPhoneLibrary(const std::string& command,
                                                       const QString& libraryOption) {
    QString named = libraryOption;
    if (named.isEmpty())
        named = phone::PhoneLibrarySetting(UserSettingsStore());
    Result<std::unique_ptr<phone::VendorLibrary>> loaded =
        phone::LocateDownloadLibrary(named, QCoreApplication::applicationDirPath());
    if (!loaded) {
        Err(command + ": " + loaded.Error() + "\n");
        return nullptr;
    }
    return std::move(*loaded);
}

PhoneCliPorts MakePhonePorts(const QString& portOption, const QString& patternOption,
                             std::size_t capacity) {
    PhoneCliPorts ports;
    if (!portOption.isEmpty()) {
        ports.locator = std::make_unique<phone::FixedPhonePort>(ArgumentBytes(portOption));
        return ports;
    }
    QString pattern = patternOption;
    if (pattern.isEmpty())
        pattern = phone::PhonePortPatternSetting(UserSettingsStore());
    ports.source = std::make_unique<phone::SerialPortSource>();
    ports.locator = std::make_unique<phone::DiscoveredPhonePort>(*ports.source,
                                                                 pattern.toStdString(), capacity);
    return ports;
}

bool PackageFilesReady(const std::string& command, const std::string& packagePath) {
    phone::PhoneFileSet files;
    const phone::PackageLoadResult loaded = phone::LoadPhonePackage(packagePath, files);
    if (loaded.outcome == phone::PackageOutcome::Missing) {
        Err(command + ": cannot read the phone package " + packagePath + ": " + loaded.reason +
            "\n");
        return false;
    }
    if (!loaded.Succeeded())
        return true;
    const std::vector<std::string> problems = phone::PhoneFileProblems(files);
    for (const std::string& problem : problems)
        Err(command + ": " + problem + "\n");
    return problems.empty();
}

} // namespace marlow::cli
