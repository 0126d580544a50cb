#include "status/status_publisher.h"

#include "status/status_log.h"

#include <QDateTime>

#include <unistd.h>

namespace marlow::status {

namespace {

// While the broker is away, summaries wait; beyond this many the oldest
// go (the records themselves are safe in the station's store).
constexpr std::size_t kMaxWaitingRuns = 1000;

} // namespace

StatusPublisher::StatusPublisher(PublisherOptions options)
    : options_(std::move(options)), pacer_(options_.slotInterval) {}

Result<std::unique_ptr<StatusPublisher>> StatusPublisher::Start(PublisherOptions options) {
    if (options.station.empty())
        return Failure{"the station has no name to publish its slots under (the setting "
                       "StationId)"};
    std::unique_ptr<StatusPublisher> publisher(new StatusPublisher(std::move(options)));
    const PublisherOptions& kept = publisher->options_;
    Result<std::unique_ptr<BrokerConnection>> connection = BrokerConnection::Start(
        {.broker = kept.broker,
         .clientId = "marlow-" + kept.station + "-" + std::to_string(::getpid()),
         .willTopic = OnlineTopic(kept.station),
         .willPayload = std::string(kOffline),
         .firstRetry = kept.firstRetry,
         .longestRetry = kept.longestRetry},
        *publisher);
    if (!connection)
        return Failure{connection.Error()};
    publisher->connection_ = std::move(*connection);
    return publisher;
}

StatusPublisher::~StatusPublisher() {
    Stop();
}

void StatusPublisher::Stop() {
    {
        const std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    if (connection_)
        connection_->Stop();
}

void StatusPublisher::Slot(const SlotStatus& status) {
    if (status.slot.empty())
        return;
    bool wake = false;
    {
        const std::lock_guard lock(mutex_);
        pacer_.Offer(status);
        const std::optional<Clock::time_point> due = pacer_.NextDue();
        wake = status_.connected && due && (!plannedWake_ || *due < *plannedWake_);
    }
    if (wake)
        connection_->Wake();
}

void StatusPublisher::RunFinished(const RunSummary& run) {
    bool wake = false;
    {
        const std::lock_guard lock(mutex_);
        if (runs_.size() == kMaxWaitingRuns) {
            qCDebug(lcStatus).noquote()
                << "the summary of run" << QString::fromStdString(runs_.front().runId)
                << "is dropped: too many wait for the status broker";
            runs_.pop_front();
        }
        runs_.push_back(run);
        wake = status_.connected;
    }
    if (wake)
        connection_->Wake();
}

PublisherStatus StatusPublisher::Status() const {
    const std::lock_guard lock(mutex_);
    return status_;
}

void StatusPublisher::Tell(const std::function<void(PublisherStatus&)>& change) {
    PublisherStatus now;
    {
        const std::lock_guard lock(mutex_);
        change(status_);
        now = status_;
    }
    if (options_.statusChanged)
        options_.statusChanged(now);
}

void StatusPublisher::Send(BrokerConnection& connection, const std::string& topic,
                           std::string_view payload, bool retain) {
    const Result<int> id = connection.Publish(topic, payload, 1, retain);
    if (id)
        unacknowledged_.insert(*id);
    else
        qCDebug(lcStatus).noquote() << QString::fromStdString(id.Error());
}

void StatusPublisher::Connected(BrokerConnection& connection) {
    // What the last connection left unacknowledged the library sends again.
    Send(connection, OnlineTopic(options_.station), kOnline, true);
    {
        const std::lock_guard lock(mutex_);
        pacer_.ResendAll();
    }
    Tell([](PublisherStatus& status) {
        status.connected = true;
        status.lastError.clear();
    });
}

void StatusPublisher::Disconnected(const std::string& why) {
    if (const PublisherStatus now = Status(); !now.connected && now.lastError == why)
        return; // the same trouble again: no news
    Tell([&](PublisherStatus& status) {
        status.connected = false;
        status.lastError = why;
    });
}

void StatusPublisher::Delivered(int messageId) {
    if (unacknowledged_.erase(messageId) == 0)
        return;
    Tell([](PublisherStatus& status) { ++status.delivered; });
}

std::optional<BrokerClient::Clock::time_point> StatusPublisher::Work(BrokerConnection& connection,
                                                                     Clock::time_point now) {
    std::vector<SlotStatus> states;
    std::deque<RunSummary> runs;
    {
        const std::lock_guard lock(mutex_);
        states = pacer_.Due(now);
        runs.swap(runs_);
        plannedWake_ = pacer_.NextDue();
    }
    const std::int64_t wallMs = QDateTime::currentMSecsSinceEpoch();
    for (const SlotStatus& state : states)
        Send(connection, SlotTopic(options_.station, state.slot),
             SlotPayload(options_.station, state, wallMs), true);
    for (const RunSummary& run : runs)
        Send(connection, RunsTopic(options_.station), RunPayload(options_.station, run), false);
    const std::lock_guard lock(mutex_);
    return plannedWake_;
}

bool StatusPublisher::Finished(BrokerConnection& connection) {
    if (!offlineSent_) {
        {
            const std::lock_guard lock(mutex_);
            if (pacer_.Waiting() || !runs_.empty())
                return false;
        }
        Send(connection, OnlineTopic(options_.station), kOffline, true);
        offlineSent_ = true;
    }
    return unacknowledged_.empty();
}

} // namespace marlow::status
