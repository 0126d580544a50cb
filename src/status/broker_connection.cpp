#include "status/broker_connection.h"

#include "status/status_log.h"

#include <mosquitto.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <mutex>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

namespace marlow::status {

namespace {

std::string Detail(int code, int savedErrno) {
    if (code == MOSQ_ERR_ERRNO)
        return std::strerror(savedErrno);
    // The library's own word for it is "Unknown error".
    if (code == MOSQ_ERR_KEEPALIVE)
        return "no answer within the keep-alive time";
    std::string text = mosquitto_strerror(code);
    if (text.ends_with('.'))
        text.pop_back();
    return text;
}

int PollTimeout(std::optional<BrokerConnection::Clock::time_point> until) {
    if (!until)
        return -1;
    const auto left =
        std::chrono::ceil<std::chrono::milliseconds>(*until - BrokerConnection::Clock::now());
    return static_cast<int>(std::clamp<std::int64_t>(left.count(), 0, 24 * 3600 * 1000));
}

std::optional<BrokerConnection::Clock::time_point>
Earliest(std::optional<BrokerConnection::Clock::time_point> a,
         std::optional<BrokerConnection::Clock::time_point> b) {
    if (!a)
        return b;
    if (!b)
        return a;
    return std::min(*a, *b);
}

} // namespace

BrokerConnection::BrokerConnection(ConnectionOptions options, BrokerAccess access,
                                   BrokerClient& client)
    : options_(std::move(options)), access_(std::move(access)), place_(access_.Place()),
      client_(client), retry_(options_.firstRetry) {}

Result<std::unique_ptr<BrokerConnection>> BrokerConnection::Start(ConnectionOptions options,
                                                                  BrokerClient& client) {
    static std::once_flag initialised;
    std::call_once(initialised, [] { mosquitto_lib_init(); });
    Result<BrokerAccess> access = ResolveBroker(options.broker);
    if (!access)
        return Failure{access.Error()};
    std::unique_ptr<BrokerConnection> connection(
        new BrokerConnection(std::move(options), std::move(*access), client));
    if (Status set = connection->SetUp(); !set)
        return Failure{set.Error()};
    connection->thread_ = std::thread([raw = connection.get()] { raw->Run(); });
    return connection;
}

Status BrokerConnection::SetUp() {
    wake_ = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (wake_ < 0)
        return Failure{std::string("no event descriptor for the status broker's thread (") +
                       std::strerror(errno) + ")"};
    mosq_ =
        mosquitto_new(options_.clientId.empty() ? nullptr : options_.clientId.c_str(), true, this);
    if (mosq_ == nullptr)
        return Failure{"libmosquitto could not make a client (" + Detail(MOSQ_ERR_ERRNO, errno) +
                       ")"};
    mosquitto_connect_callback_set(mosq_, OnConnect);
    mosquitto_disconnect_callback_set(mosq_, OnDisconnect);
    mosquitto_message_callback_set(mosq_, OnMessage);
    mosquitto_publish_callback_set(mosq_, OnPublish);
    mosquitto_log_callback_set(mosq_, OnLog);
    const BrokerAccess& access = access_;
    if (!options_.willTopic.empty()) {
        const int willSet = mosquitto_will_set(mosq_, options_.willTopic.c_str(),
                                               static_cast<int>(options_.willPayload.size()),
                                               options_.willPayload.data(), 1, true);
        if (willSet != MOSQ_ERR_SUCCESS)
            return Failure{"the last will for " + options_.willTopic + " is refused (" +
                           Detail(willSet, errno) + ")"};
    }
    if (!access.user.empty()) {
        const int loginSet =
            mosquitto_username_pw_set(mosq_, access.user.c_str(), access.password.c_str());
        if (loginSet != MOSQ_ERR_SUCCESS)
            return Failure{"the login for the status broker " + place_ + " is refused (" +
                           Detail(loginSet, errno) + ")"};
    }
    if (!access.caFile.empty()) {
        const int tlsSet =
            mosquitto_tls_set(mosq_, access.caFile.c_str(), nullptr, nullptr, nullptr, nullptr);
        if (tlsSet != MOSQ_ERR_SUCCESS)
            return Failure{"the status broker's CA file " + access.caFile + " is refused (" +
                           Detail(tlsSet, errno) + ")"};
    }
    return {};
}

BrokerConnection::~BrokerConnection() {
    Stop();
    if (mosq_ != nullptr)
        mosquitto_destroy(mosq_);
    if (wake_ >= 0)
        ::close(wake_);
}

void BrokerConnection::Wake() {
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t ignored = ::write(wake_, &one, sizeof one);
}

void BrokerConnection::Stop() {
    stopping_ = true;
    if (thread_.joinable()) {
        Wake();
        thread_.join();
    }
}

Result<int> BrokerConnection::Publish(const std::string& topic, std::string_view payload, int qos,
                                      bool retain) {
    int id = 0;
    const int published = mosquitto_publish(
        mosq_, &id, topic.c_str(), static_cast<int>(payload.size()), payload.data(), qos, retain);
    if (published != MOSQ_ERR_SUCCESS)
        return Failure{"publishing on " + topic + " failed (" + Detail(published, errno) + ")"};
    return id;
}

Status BrokerConnection::Subscribe(const std::vector<std::string>& patterns, int qos) {
    std::vector<char*> names;
    for (const std::string& pattern : patterns)
        names.push_back(const_cast<char*>(pattern.c_str()));
    const int subscribed = mosquitto_subscribe_multiple(
        mosq_, nullptr, static_cast<int>(names.size()), names.data(), qos, 0, nullptr);
    if (subscribed != MOSQ_ERR_SUCCESS)
        return Failure{"subscribing to " + patterns.front() + " and the rest failed (" +
                       Detail(subscribed, errno) + ")"};
    return {};
}

void BrokerConnection::Connect(Clock::time_point now) {
    everAccepted_ = false;
    refusal_.clear();
    const int started = mosquitto_connect_async(mosq_, access_.host.c_str(), access_.port,
                                                static_cast<int>(options_.keepAlive.count()));
    const int savedErrno = errno;
    if (started == MOSQ_ERR_SUCCESS) {
        qCDebug(lcStatus).noquote()
            << "connecting to the status broker" << QString::fromStdString(place_);
        return;
    }
    Lost("the status broker " + place_ + " cannot be reached (" + Detail(started, savedErrno) + ")",
         now);
}

// A connection attempt failed or the connection ended: try again later,
// each time a little later.
void BrokerConnection::Lost(const std::string& why, Clock::time_point now) {
    connected_ = false;
    retryAt_ = now + retry_;
    qCDebug(lcStatus).noquote() << QString::fromStdString(why) << "- again in" << retry_.count()
                                << "ms";
    retry_ = std::min(retry_ * 2, options_.longestRetry);
    client_.Disconnected(why);
}

void BrokerConnection::OnConnect(mosquitto*, void* self, int code) {
    auto& connection = *static_cast<BrokerConnection*>(self);
    if (code != 0) {
        // The library closes the socket next, and says so; the refusal is
        // the better reason.
        const bool login = code == 4 || code == 5;
        connection.refusal_ = "the status broker " + connection.place_ + " refused " +
                              (login ? "the login" : "the connection") + " (" +
                              mosquitto_connack_string(code) + ")";
        return;
    }
    connection.connected_ = true;
    connection.everAccepted_ = true;
    connection.retry_ = connection.options_.firstRetry;
    qCDebug(lcStatus).noquote() << "connected to the status broker"
                                << QString::fromStdString(connection.place_);
    connection.client_.Connected(connection);
}

void BrokerConnection::OnDisconnect(mosquitto*, void* self, int code) {
    const int savedErrno = errno;
    auto& connection = *static_cast<BrokerConnection*>(self);
    if (connection.stopping_ && code == MOSQ_ERR_SUCCESS) {
        connection.connected_ = false;
        return;
    }
    std::string why = connection.refusal_;
    if (why.empty())
        why = connection.everAccepted_
                  ? "the connection to the status broker " + connection.place_ + " was lost (" +
                        Detail(code, savedErrno) + ")"
                  : "the status broker " + connection.place_ + " cannot be reached (" +
                        Detail(code, savedErrno) + ")";
    connection.Lost(why, Clock::now());
}

void BrokerConnection::OnMessage(mosquitto*, void* self, const mosquitto_message* message) {
    auto& connection = *static_cast<BrokerConnection*>(self);
    connection.client_.Message(
        message->topic,
        std::string_view(static_cast<const char*>(message->payload),
                         static_cast<std::size_t>(std::max(message->payloadlen, 0))),
        message->retain);
}

void BrokerConnection::OnPublish(mosquitto*, void* self, int messageId) {
    static_cast<BrokerConnection*>(self)->client_.Delivered(messageId);
}

void BrokerConnection::OnLog(mosquitto*, void*, int level, const char* text) {
    // The library's own words on trouble; its routine lines name every
    // packet and would drown ours.
    if ((level & (MOSQ_LOG_ERR | MOSQ_LOG_WARNING)) != 0)
        qCDebug(lcStatus).noquote() << "libmosquitto:" << text;
}

void BrokerConnection::PollOnce(std::optional<Clock::time_point> until, bool writeOnly) {
    const int socket = mosquitto_socket(mosq_);
    pollfd fds[2] = {{wake_, POLLIN, 0}, {socket, 0, 0}};
    if (socket >= 0)
        fds[1].events = static_cast<short>((writeOnly ? 0 : POLLIN) |
                                           (mosquitto_want_write(mosq_) ? POLLOUT : 0));
    const int ready = ::poll(fds, socket >= 0 ? 2 : 1, PollTimeout(until));
    if (ready < 0)
        return; // a signal: the caller looks again
    if ((fds[0].revents & POLLIN) != 0) {
        std::uint64_t count = 0;
        [[maybe_unused]] const ssize_t ignored = ::read(wake_, &count, sizeof count);
    }
    if (socket < 0)
        return;
    if ((fds[1].revents & (POLLIN | POLLERR | POLLHUP)) != 0)
        mosquitto_loop_read(mosq_, 1);
    if (mosquitto_socket(mosq_) >= 0 && (fds[1].revents & POLLOUT) != 0)
        mosquitto_loop_write(mosq_, 1);
    if (mosquitto_socket(mosq_) >= 0)
        mosquitto_loop_misc(mosq_);
}

// A clean DISCONNECT, so that the broker drops the last will; once written
// the library closes the socket.
void BrokerConnection::SayGoodbye(Clock::time_point deadline) {
    if (mosquitto_disconnect(mosq_) != MOSQ_ERR_SUCCESS)
        return;
    while (mosquitto_socket(mosq_) >= 0 && mosquitto_want_write(mosq_) && Clock::now() < deadline)
        PollOnce(deadline, true);
    qCDebug(lcStatus).noquote() << "left the status broker" << QString::fromStdString(place_);
}

void BrokerConnection::Run() {
    std::optional<Clock::time_point> stopBy;
    for (;;) {
        const Clock::time_point now = Clock::now();
        if (stopping_ && !stopBy)
            stopBy = now + options_.stopGrace;
        const bool socket = mosquitto_socket(mosq_) >= 0;
        std::optional<Clock::time_point> wakeAt;
        if (connected_) {
            wakeAt = client_.Work(*this, now);
            if (stopBy && (client_.Finished(*this) || now >= *stopBy)) {
                SayGoodbye(*stopBy + options_.stopGrace);
                break;
            }
            // The library pings the broker when the connection has been
            // quiet for a keep-alive; look in time for that.
            wakeAt = Earliest(wakeAt, now + options_.keepAlive / 4);
        } else if (socket) {
            // Being made: a stop waits for it, since what the client has to
            // say can go once it is accepted.
            if (stopBy && now >= *stopBy)
                break;
            wakeAt = now + options_.keepAlive / 4;
        } else {
            if (stopBy)
                break;
            if (now >= retryAt_)
                Connect(now);
            wakeAt = mosquitto_socket(mosq_) >= 0 ? now + options_.keepAlive / 4 : retryAt_;
        }
        PollOnce(Earliest(wakeAt, stopBy));
    }
    connected_ = false;
}

} // namespace marlow::status
