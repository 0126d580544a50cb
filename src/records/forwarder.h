#pragma once
// The forwarder a long-running front end keeps: a thread of its own that
// keeps the central database level with the station's outbox. It sleeps
// until the store changes (a record finished here, or in another Marlow
// recording into the same store), then forwards what waits, batch by batch.
// While the central database cannot be reached or refuses the records it
// backs off (a second, doubling up to a minute), asleep; the error is kept
// in the store for `marlow-cli runs outbox`. Recording never waits for it:
// runs only write the local store.

#include "records/central.h"
#include "records/outbox.h"

#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace marlow::records {

struct ForwarderStatus {
    std::int64_t backlog = 0;   // records waiting after the last attempt
    std::int64_t forwarded = 0; // by this forwarder since it started
    std::string lastError{};    // empty while all goes well
    bool operator==(const ForwarderStatus&) const = default;
};

struct ForwarderOptions {
    std::string storePath{};
    CentralSettings central{};
    ForwardOptions batches{};
    std::chrono::milliseconds firstRetry{1000};
    std::chrono::milliseconds longestRetry{60'000};
    // On the forwarder's thread after every attempt; a window posts it on
    // to its own thread.
    std::function<void(const ForwarderStatus&)> statusChanged{};
};

class Forwarder {
public:
    static std::unique_ptr<Forwarder> Start(ForwarderOptions options);
    ~Forwarder(); // Stop()
    Forwarder(const Forwarder&) = delete;
    Forwarder& operator=(const Forwarder&) = delete;

    ForwarderStatus Status() const;

    // Ends the thread: it wakes from any wait, and a call waiting on the
    // server is broken off (a connect still pending ends within the
    // connection's connect_timeout, 10 s unless the string says otherwise).
    // What was not committed stays in the outbox.
    void Stop();
    // A front end's orderly end: one more look at the outbox, and the thread
    // ends once what waits has gone, or the server has failed again, or
    // `grace` has passed, whichever comes first. The backlog left is returned.
    std::int64_t Finish(std::chrono::milliseconds grace);

private:
    explicit Forwarder(ForwarderOptions options);
    void Run();
    marlow::Status Pass();
    void Settled(const marlow::Status& passed);
    void Changed();

    const ForwarderOptions options_;
    mutable std::mutex mutex_;
    std::condition_variable wake_;
    bool stopping_ = false;
    bool finishing_ = false; // Finish waits for the next pass that settles it
    bool settled_ = false;
    std::condition_variable settledWake_;
    bool changed_ = true; // look at once
    ForwarderStatus status_{};
    CentralDatabase* connected_ = nullptr; // the thread's, for Stop to break off

    // The thread's only.
    struct Held;
    std::unique_ptr<Held> held_;
    std::thread thread_;
};

} // namespace marlow::records
