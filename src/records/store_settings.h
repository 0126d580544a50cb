#pragma once
// Where runs are recorded and whether they must be: the settings `RunRecords`
// ("on", the default; "off"; "required": no run starts that cannot be
// recorded), `RunStore` (the store's path) and `StationId` (the station's
// name in every record, by default the host name).

#include "common/result.h"

#include <string>

class QSettings;

namespace marlow::records {

enum class Recording { On, Off, Required };

struct RecordingSettings {
    Recording recording = Recording::On;
    std::string storePath{};
    std::string stationId{};
};

// ~/.local/share/Korvane/Marlow/runs.sqlite: the data folder of Marlow, the
// same for the program and marlow-cli.
std::string DefaultStorePath();
std::string DefaultStationId();

// `RunStore`, or the default path.
std::string StorePathSetting(const QSettings& store);

// The settings with their defaults; a `RunRecords` value that is none of the
// three is refused, so that a mistyped "required" never records less.
Result<RecordingSettings> ReadRecordingSettings(const QSettings& store);

} // namespace marlow::records
