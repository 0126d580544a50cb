#pragma once
// The phone download's own settings beside the program's: which library
// file to load and how a port number becomes a port name.

#include <QSettings>
#include <QString>

namespace marlow::phone {

// "PhoneLibrary": a path to the download library; empty means the default search.
QString PhoneLibrarySetting(const QSettings& settings);
// "PhonePortPattern": the port name with "%i" for the number; empty (the
// default) opens each modem port as the path the system gives it.
QString PhonePortPatternSetting(const QSettings& settings);

} // namespace marlow::phone
