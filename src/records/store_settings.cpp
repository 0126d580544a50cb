#include "records/store_settings.h"

#include <QSettings>
#include <QStandardPaths>
#include <QSysInfo>

namespace marlow::records {

std::string DefaultStorePath() {
    // Not AppDataLocation: that follows the program's name, and marlow-cli
    // must find the store the window records into.
    return (QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
            QStringLiteral("/Korvane/Marlow/runs.sqlite"))
        .toStdString();
}

std::string DefaultStationId() {
    return QSysInfo::machineHostName().toStdString();
}

std::string StorePathSetting(const QSettings& store) {
    const std::string path = store.value(QStringLiteral("RunStore")).toString().toStdString();
    return path.empty() ? DefaultStorePath() : path;
}

Result<RecordingSettings> ReadRecordingSettings(const QSettings& store) {
    RecordingSettings settings;
    const QString recording =
        store.value(QStringLiteral("RunRecords"), QStringLiteral("on")).toString().trimmed();
    if (recording.compare(QStringLiteral("on"), Qt::CaseInsensitive) == 0)
        settings.recording = Recording::On;
    else if (recording.compare(QStringLiteral("off"), Qt::CaseInsensitive) == 0)
        settings.recording = Recording::Off;
    else if (recording.compare(QStringLiteral("required"), Qt::CaseInsensitive) == 0)
        settings.recording = Recording::Required;
    else
        return Failure{"the setting RunRecords is \"" + recording.toStdString() +
                       "\"; it takes on, off or required"};
    settings.storePath = StorePathSetting(store);
    settings.stationId = store.value(QStringLiteral("StationId")).toString().toStdString();
    if (settings.stationId.empty())
        settings.stationId = DefaultStationId();
    return settings;
}

} // namespace marlow::records
