#pragma once
// The user's settings for the commands that read them (PdaUsbIds,
// PhoneLibrary, PhonePortPattern), opened once per process as
// app::UserSettings opens them: when a settings file is refused, the reason
// is told once on stderr and the command runs on the defaults.

#include <QSettings>

namespace marlow::cli {

QSettings& UserSettingsStore();

} // namespace marlow::cli
