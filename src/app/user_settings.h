#pragma once
// The user's own settings store, QSettings("Korvane", "Marlow"). QSettings
// reads its files by name with an open that waits, and saves by putting a
// new file in the old one's place (through a symbolic link, in the place the
// link leads to): a named pipe there would hold the program before its first
// window, and a link to a device would have the device replaced on the
// first save. So every file the store reads is checked before it is built,
// by the regular-file rule. When one is refused, the store is a private one
// that starts empty and goes with the program: Marlow runs on its defaults
// and writes nothing to that place.

#include <QSettings>
#include <QTemporaryDir>
#include <memory>
#include <string>
#include <vector>

namespace marlow::app {

// The files QSettings(organization, application) reads, the one it saves
// first: on Linux ~/.config/ORG/APP.conf, ~/.config/ORG.conf and their
// system-wide copies, and the lock file it takes to save.
std::vector<std::string> SettingsFilesOf(const QString& organization, const QString& application);

class UserSettings {
public:
    UserSettings();
    UserSettings(const UserSettings&) = delete;
    UserSettings& operator=(const UserSettings&) = delete;

    QSettings& Store() { return *store_; }
    // Why the user's files are left alone, for the owner to say once; empty
    // when the store is the user's own.
    const std::string& Refusal() const { return refusal_; }

private:
    std::unique_ptr<QTemporaryDir> privateFolder_;
    std::unique_ptr<QSettings> store_;
    std::string refusal_;
};

} // namespace marlow::app
