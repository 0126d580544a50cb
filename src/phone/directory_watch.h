#pragma once
// Tells when entries of one folder appear, go or change their attributes,
// on a thread of its own that sleeps in the kernel until something happens
// (inotify). The phone port wait uses it to sleep instead of scanning the
// system's ports every 10 ms; the forwarder of run records, to sleep until
// the store has changed.

#include "common/result.h"

#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>

namespace marlow::phone {

class DirectoryWatch {
public:
    // The entry's name, or nullopt when anything in the folder may have
    // changed (the kernel dropped events, or the watch ended).
    using Changed = std::function<void(const std::optional<std::string>& name)>;

    // What is heard: entries that appear, go or change their attributes;
    // with `Writes`, also every write to an entry.
    enum class Hear { Entries, Writes };

    // Fails when the folder cannot be watched (it does not exist, or the
    // system has no inotify).
    static Result<std::unique_ptr<DirectoryWatch>> Start(const std::string& folder, Changed changed,
                                                         Hear hear = Hear::Entries);
    // Returns once the thread has ended: `changed` runs no more.
    ~DirectoryWatch();
    DirectoryWatch(const DirectoryWatch&) = delete;
    DirectoryWatch& operator=(const DirectoryWatch&) = delete;

    // False once the watch has ended on its own (the folder went, or reading
    // the events failed); `changed` has then heard nullopt a last time.
    bool Healthy() const { return healthy_; }

private:
    DirectoryWatch(int inotifyFd, int stopFd, Changed changed);
    void Run();
    bool DeliverEvents();

    int inotifyFd_;
    int stopFd_;
    Changed changed_;
    std::atomic<bool> healthy_{true};
    std::thread thread_;
};

} // namespace marlow::phone
