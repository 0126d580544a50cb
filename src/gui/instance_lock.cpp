#include "gui/instance_lock.h"

#include "common/regular_file.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>

namespace marlow::gui {

InstanceLock::InstanceLock() : InstanceLock(DefaultPath()) {}

InstanceLock::InstanceLock(const QString& lockPath) : lock_(std::make_unique<QLockFile>(lockPath)) {
    // A live Marlow never gives the lock up, so only a dead owner's lock may
    // be taken over, however old it is.
    lock_->setStaleLockTime(0);
}

bool InstanceLock::Acquire() {
    // QLockFile reads a lock that is there to see whether its owner lives: a
    // pipe or a device in its place would hold the start for good. Such a
    // thing is no other Marlow's lock either, so the start goes on without.
    if (!NamesRegularFileOrNothing(QFile::encodeName(lock_->fileName()).toStdString()))
        return true;
    return lock_->tryLock(0);
}

QString InstanceLock::DefaultPath() {
    QString folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (folder.isEmpty())
        folder = QDir::tempPath();
    return QDir(folder).filePath(QStringLiteral("marlow-instance.lock"));
}

} // namespace marlow::gui
