#include "status/status_subscriber.h"

#include "status/status_log.h"

namespace marlow::status {

Result<std::unique_ptr<StatusSubscriber>> StatusSubscriber::Start(SubscriberOptions options) {
    std::unique_ptr<StatusSubscriber> subscriber(new StatusSubscriber(std::move(options)));
    Result<std::unique_ptr<BrokerConnection>> connection =
        BrokerConnection::Start({.broker = subscriber->options_.broker,
                                 .firstRetry = subscriber->options_.firstRetry,
                                 .longestRetry = subscriber->options_.longestRetry},
                                *subscriber);
    if (!connection)
        return Failure{connection.Error()};
    subscriber->connection_ = std::move(*connection);
    return subscriber;
}

StatusSubscriber::~StatusSubscriber() {
    Stop();
}

void StatusSubscriber::Stop() {
    if (connection_)
        connection_->Stop();
}

void StatusSubscriber::Connected(BrokerConnection& connection) {
    const std::string station =
        options_.station.empty() ? std::string("+") : TopicLevel(options_.station);
    if (const Status subscribed =
            connection.Subscribe({"marlow/" + station + "/slot/+/state",
                                  "marlow/" + station + "/online", "marlow/" + station + "/runs"},
                                 1);
        !subscribed)
        qCDebug(lcStatus).noquote() << QString::fromStdString(subscribed.Error());
    if (options_.connection)
        options_.connection({});
}

void StatusSubscriber::Disconnected(const std::string& why) {
    if (options_.connection)
        options_.connection(why);
}

void StatusSubscriber::Message(std::string_view topic, std::string_view payload, bool retained) {
    std::optional<StatusTopic> parsed = ParseTopic(topic);
    if (!parsed || !options_.message)
        return;
    options_.message(
        {.topic = std::move(*parsed), .payload = std::string(payload), .retained = retained});
}

} // namespace marlow::status
