#pragma once
// One Marlow per user: a second start finds the lock held and ends without
// showing anything. A lock left behind by a crashed run is taken over.

#include <QLockFile>
#include <QString>
#include <memory>

namespace marlow::gui {

class InstanceLock {
public:
    // The per-user lock in the user's runtime folder.
    InstanceLock();
    explicit InstanceLock(const QString& lockPath);

    // False when another running Marlow holds the lock.
    bool Acquire();

    static QString DefaultPath();

private:
    std::unique_ptr<QLockFile> lock_;
};

} // namespace marlow::gui
