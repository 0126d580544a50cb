#pragma once
// Reads what stations publish (see slot_status.h): every station's slot
// states, online flags and run summaries, or one station's. Messages are
// handed to the caller on the subscriber's own thread, as they come; the
// retained ones first after each connection. Like the publisher it tries
// again while the broker is away.

#include "status/broker_connection.h"
#include "status/broker_settings.h"
#include "status/slot_status.h"

#include <functional>
#include <memory>
#include <string>

namespace marlow::status {

struct StatusMessage {
    StatusTopic topic{};
    std::string payload{};
    bool retained = false; // kept by the broker from before this subscription
};

struct SubscriberOptions {
    BrokerSettings broker{};
    std::string station{}; // empty: every station
    std::chrono::milliseconds firstRetry{1000};
    std::chrono::milliseconds longestRetry{60'000};
    // On the subscriber's thread. Topics under marlow/ that are none of
    // ours are passed over.
    std::function<void(const StatusMessage&)> message{};
    // Connected (why empty) or not, and why.
    std::function<void(const std::string& why)> connection{};
};

class StatusSubscriber : private BrokerClient {
public:
    // Refused for the same settings as the publisher.
    static Result<std::unique_ptr<StatusSubscriber>> Start(SubscriberOptions options);
    ~StatusSubscriber() override; // Stop()
    StatusSubscriber(const StatusSubscriber&) = delete;
    StatusSubscriber& operator=(const StatusSubscriber&) = delete;

    void Stop();

private:
    explicit StatusSubscriber(SubscriberOptions options) : options_(std::move(options)) {}
    void Connected(BrokerConnection& connection) override;
    void Disconnected(const std::string& why) override;
    void Message(std::string_view topic, std::string_view payload, bool retained) override;
    std::optional<Clock::time_point> Work(BrokerConnection&, Clock::time_point) override {
        return std::nullopt;
    }

    const SubscriberOptions options_;
    std::unique_ptr<BrokerConnection> connection_;
};

} // namespace marlow::status
