#include "app/user_settings.h"

#include "common/regular_file.h"

#include <QDir>
#include <QFile>
#include <QLibraryInfo>
#include <QStandardPaths>

namespace marlow::app {

namespace {

const QString kOrganization = QStringLiteral("Korvane");
const QString kApplication = QStringLiteral("Marlow");

} // namespace

std::vector<std::string> SettingsFilesOf(const QString& organization, const QString& application) {
    const QDir user(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation));
    const QDir system(QLibraryInfo::path(QLibraryInfo::SettingsPath));
    const QString own = organization + "/" + application + ".conf";
    const QString shared = organization + ".conf";
    std::vector<std::string> files;
    for (const QString& file :
         {user.filePath(own), user.filePath(own + ".lock"), user.filePath(shared),
          system.filePath(own), system.filePath(shared)})
        files.push_back(QFile::encodeName(file).toStdString());
    return files;
}

UserSettings::UserSettings() {
    for (const std::string& file : SettingsFilesOf(kOrganization, kApplication)) {
        if (const Status usable = NamesRegularFileOrNothing(file); !usable) {
            refusal_ = file + ": " + usable.Error() +
                       "; Marlow runs on its default settings and saves none there";
            break;
        }
    }
    if (refusal_.empty()) {
        store_ = std::make_unique<QSettings>(kOrganization, kApplication);
        return;
    }
    privateFolder_ = std::make_unique<QTemporaryDir>();
    store_ = std::make_unique<QSettings>(privateFolder_->filePath(kApplication + ".conf"),
                                         QSettings::NativeFormat);
}

} // namespace marlow::app
