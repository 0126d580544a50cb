#pragma once
// What a station keeps to tell the factory its slots' states live (see
// slot_status.h for the topics). The station calls `Slot` whenever a slot
// changes and `RunFinished` for each finished record, from any thread;
// neither waits on the network: they note the news and wake the
// publisher's own thread, which talks to the broker. Each slot's state goes
// out retained, at most once a `slotInterval` (the newest always, the ones
// in between left out); `marlow/<station>/online` is `true` while the
// station is connected and, through the broker's last will, `false` as
// soon as the station's connection dies. Summaries are sent once at least
// (QoS 1): one may come twice after a lost connection, and a reader keys
// them by run id. While the broker is away the publisher tries again (a
// second, doubling up to a minute); once back, every slot's state is sent
// again, since a broker that restarted may have lost them.

#include "status/broker_connection.h"
#include "status/broker_settings.h"
#include "status/slot_pacer.h"
#include "status/slot_status.h"

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <set>
#include <string>

namespace marlow::status {

struct PublisherStatus {
    bool connected = false;
    std::string lastError{};    // why not connected; empty while connected
    std::int64_t delivered = 0; // messages the broker acknowledged
    bool operator==(const PublisherStatus&) const = default;
};

struct PublisherOptions {
    BrokerSettings broker{};
    std::string station{};
    std::chrono::milliseconds slotInterval{500};
    std::chrono::milliseconds firstRetry{1000};
    std::chrono::milliseconds longestRetry{60'000};
    // On the publisher's thread at every change; a window posts it on to
    // its own thread.
    std::function<void(const PublisherStatus&)> statusChanged{};
};

class StatusPublisher : private BrokerClient {
public:
    // Refused, with the reason, for settings that no waiting mends: no
    // station name, an address that is no host:port, a password file that
    // others may read or that holds no user, a CA file that cannot be read.
    static Result<std::unique_ptr<StatusPublisher>> Start(PublisherOptions options);
    ~StatusPublisher() override; // Stop()
    StatusPublisher(const StatusPublisher&) = delete;
    StatusPublisher& operator=(const StatusPublisher&) = delete;

    // Any thread; never waits on the network. A status without a slot name
    // is passed over.
    void Slot(const SlotStatus& status);
    void RunFinished(const RunSummary& run);
    PublisherStatus Status() const;

    // Sends what waits (each slot's newest state, in its time, and the
    // summaries), then `online` false, and leaves the broker once it has
    // acknowledged them, a few seconds at most. Not connected, it ends at
    // once: the broker's last will has said offline already. Any thread
    // but the publisher's own (not from `statusChanged`).
    void Stop();

private:
    explicit StatusPublisher(PublisherOptions options);
    void Connected(BrokerConnection& connection) override;
    void Disconnected(const std::string& why) override;
    void Delivered(int messageId) override;
    std::optional<Clock::time_point> Work(BrokerConnection& connection,
                                          Clock::time_point now) override;
    bool Finished(BrokerConnection& connection) override;
    void Send(BrokerConnection& connection, const std::string& topic, std::string_view payload,
              bool retain);
    void Tell(const std::function<void(PublisherStatus&)>& change);

    const PublisherOptions options_;
    std::unique_ptr<BrokerConnection> connection_;

    mutable std::mutex mutex_;
    SlotPacer pacer_;
    std::deque<RunSummary> runs_;
    PublisherStatus status_{};
    bool stopping_ = false;
    // The thread's plan: it will look at the pacer by then anyway, so news
    // due later need not wake it.
    std::optional<Clock::time_point> plannedWake_;

    // The thread's only.
    std::set<int> unacknowledged_;
    bool offlineSent_ = false;
};

} // namespace marlow::status
