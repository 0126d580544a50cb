#pragma once
// One connection to an MQTT broker on a thread of its own, driven through
// libmosquitto's calls for a loop of the caller's (its socket and a wake-up
// descriptor in one poll): the thread sleeps until the socket, a wake-up or
// the time its owner asked for, so waiting costs nothing, and a stop is
// heard at once. It connects, and after a refusal or a loss connects again,
// waiting a retry time that doubles up to the longest. Its owner, a
// `BrokerClient`, is called on that thread only, and publishes and
// subscribes from there.

#include "status/broker_settings.h"

#include <atomic>
#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

struct mosquitto;
struct mosquitto_message;

namespace marlow::status {

class BrokerConnection;

class BrokerClient {
public:
    using Clock = std::chrono::steady_clock;
    virtual ~BrokerClient() = default;
    // The broker took the connection: say again what it may have lost.
    virtual void Connected(BrokerConnection& connection) = 0;
    // No connection (refused, lost, not reached), and why.
    virtual void Disconnected(const std::string& why) = 0;
    virtual void Message(std::string_view /*topic*/, std::string_view /*payload*/,
                         bool /*retained*/) {}
    // The broker acknowledged the message the publish returned.
    virtual void Delivered(int /*messageId*/) {}
    // At every wake while connected: send what is due; when to be woken
    // again, none when only news will need it.
    virtual std::optional<Clock::time_point> Work(BrokerConnection& connection,
                                                  Clock::time_point now) = 0;
    // While a stop waits: true once everything the client had to say is
    // out and acknowledged.
    virtual bool Finished(BrokerConnection& /*connection*/) { return true; }
};

struct ConnectionOptions {
    BrokerSettings broker{};
    std::string clientId{}; // empty: one of the library's making
    // Published by the broker, retained, when the connection ends without
    // a goodbye (the process killed, the cable pulled).
    std::string willTopic{};
    std::string willPayload{};
    std::chrono::seconds keepAlive{20};
    std::chrono::milliseconds firstRetry{1000};
    std::chrono::milliseconds longestRetry{60'000};
    // How long a stop waits for the client to finish and for a connection
    // being made to be accepted.
    std::chrono::milliseconds stopGrace{3000};
};

class BrokerConnection {
public:
    using Clock = std::chrono::steady_clock;

    // Refused for settings that no waiting mends (see ResolveBroker), or
    // when the library cannot be set up with them (a CA file it cannot
    // load); a broker that is away is tried again.
    static Result<std::unique_ptr<BrokerConnection>> Start(ConnectionOptions options,
                                                           BrokerClient& client);
    ~BrokerConnection(); // Stop()
    BrokerConnection(const BrokerConnection&) = delete;
    BrokerConnection& operator=(const BrokerConnection&) = delete;

    // Any thread: the client has news; the thread calls its Work soon.
    void Wake();
    // Any thread but the connection's: lets the client finish (a
    // connection being made is awaited for it), says goodbye to the broker
    // and ends the thread; after `stopGrace` it ends regardless.
    void Stop();

    // The connection's thread only. The message's id, or why not.
    Result<int> Publish(const std::string& topic, std::string_view payload, int qos, bool retain);
    // In one request, so that the broker starts them all at once.
    Status Subscribe(const std::vector<std::string>& patterns, int qos);
    const std::string& Place() const { return place_; }

private:
    BrokerConnection(ConnectionOptions options, BrokerAccess access, BrokerClient& client);
    Status SetUp();
    void Run();
    void Connect(Clock::time_point now);
    void Lost(const std::string& why, Clock::time_point now);
    void PollOnce(std::optional<Clock::time_point> until, bool writeOnly = false);
    void SayGoodbye(Clock::time_point deadline);

    static void OnConnect(mosquitto*, void* self, int code);
    static void OnDisconnect(mosquitto*, void* self, int code);
    static void OnMessage(mosquitto*, void* self, const mosquitto_message* message);
    static void OnPublish(mosquitto*, void* self, int messageId);
    static void OnLog(mosquitto*, void* self, int level, const char* text);

    const ConnectionOptions options_;
    const BrokerAccess access_;
    const std::string place_;
    BrokerClient& client_;
    mosquitto* mosq_ = nullptr;
    int wake_ = -1; // an eventfd
    std::atomic<bool> stopping_{false};
    std::thread thread_;

    // The thread's only.
    bool connected_ = false;
    bool everAccepted_ = false; // this attempt's connection was accepted
    std::string refusal_;       // why the broker refused this attempt
    std::chrono::milliseconds retry_;
    Clock::time_point retryAt_{};
};

} // namespace marlow::status
