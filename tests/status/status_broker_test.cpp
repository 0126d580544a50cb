// The status side against a real mosquitto: states retained and paced, a
// broker that restarts given every state again, a station that dies said
// offline by its last will, logins and brokers that are away said in the
// documented words, and marlow-cli's board showing what stations publish.

#include "status/status_publisher.h"
#include "status/status_subscriber.h"
#include "support/hang_bound.h"
#include "support/mosquitto_broker.h"
#include "support/qt_events.h"
#include "support/temp_dir.h"
#include "support/watched.h"

#include <QProcess>
#include <gtest/gtest.h>

#include <csignal>
#include <set>

namespace marlow::status {
namespace {

using namespace std::chrono_literals;
using Kind = StatusTopic::Kind;

using test::Watched;

// Everything a subscriber heard, in order.
struct Heard {
    std::vector<StatusMessage> messages;
    std::vector<std::string> Of(Kind kind, const std::string& name) const {
        std::vector<std::string> found;
        for (const StatusMessage& m : messages)
            if (m.topic.kind == kind &&
                (kind == Kind::Slot ? m.topic.slot : m.topic.station) == name)
                found.push_back(m.payload);
        return found;
    }
    std::string Online(const std::string& station) const {
        const auto said = Of(Kind::Online, station);
        return said.empty() ? "" : said.back();
    }
    std::optional<SlotStatus> Slot(const std::string& slot) const {
        const auto said = Of(Kind::Slot, slot);
        return said.empty() ? std::nullopt : std::optional(*ReadSlotPayload(said.back()));
    }
};

class StatusBrokerTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (const auto missing = test::MosquittoBroker::Missing())
            GTEST_SKIP() << *missing;
        broker = StartBroker();
    }

    static std::unique_ptr<test::MosquittoBroker>
    StartBroker(std::optional<test::MosquittoBroker::Login> login = {}) {
        Result<std::unique_ptr<test::MosquittoBroker>> started =
            test::MosquittoBroker::Start(std::move(login));
        EXPECT_TRUE(started) << started.Error();
        return started ? std::move(*started) : nullptr;
    }

    std::unique_ptr<StatusSubscriber> Listen(Watched<Heard>& heard) {
        Result<std::unique_ptr<StatusSubscriber>> subscriber = StatusSubscriber::Start(
            {.broker = {.address = broker->Address()}, .message = [&](const StatusMessage& m) {
                 heard.Change([&](Heard& h) { h.messages.push_back(m); });
             }});
        EXPECT_TRUE(subscriber) << subscriber.Error();
        return std::move(*subscriber);
    }

    std::unique_ptr<StatusPublisher> Publish(Watched<PublisherStatus>& statuses,
                                             BrokerSettings settings = {}) {
        if (settings.address.empty())
            settings.address = broker->Address();
        Result<std::unique_ptr<StatusPublisher>> publisher =
            StatusPublisher::Start({.broker = settings,
                                    .station = "line-4",
                                    .firstRetry = 10ms,
                                    .longestRetry = 100ms,
                                    .statusChanged = [&](const PublisherStatus& s) {
                                        statuses.Change([&](PublisherStatus& kept) { kept = s; });
                                    }});
        EXPECT_TRUE(publisher) << publisher.Error();
        return std::move(*publisher);
    }

    std::unique_ptr<test::MosquittoBroker> broker;
};

TEST_F(StatusBrokerTest, StatesGoOutRetainedAndFarFewerThanTheyChange) {
    Watched<Heard> live;
    const auto listening = Listen(live);
    Watched<PublisherStatus> statuses;
    const auto publisher = Publish(statuses);
    // Listening for all the topics once it hears any.
    live.Await([](const Heard& h) { return h.Online("line-4") == "true"; });

    constexpr int kUpdates = 1000;
    SlotStatus last;
    for (int i = 0; i < kUpdates; ++i) {
        last = {.slot = "A1",
                .state = SlotState::Pda,
                .file = "NK.bin",
                .percent = i / 10,
                .elapsedMs = i};
        publisher->Slot(last);
    }
    publisher->RunFinished({.runId = "r1", .slot = "A1", .verdict = "passed"});
    publisher->Stop();

    const Heard heard = live.Await([](const Heard& h) { return h.Online("line-4") == "false"; });
    const std::size_t states = heard.Of(Kind::Slot, "A1").size();
    EXPECT_LT(states, kUpdates / 10u);
    EXPECT_EQ(heard.Slot("A1"), last); // the newest is never left out
    ASSERT_EQ(heard.Of(Kind::Runs, "line-4").size(), 1u);
    EXPECT_EQ(ReadRunPayload(heard.Of(Kind::Runs, "line-4")[0])->runId, "r1");

    Watched<Heard> late; // kept by the broker for whoever comes later
    const auto lateListening = Listen(late);
    const Heard kept = late.Await(
        [](const Heard& h) { return h.Slot("A1").has_value() && !h.Online("line-4").empty(); });
    EXPECT_EQ(kept.Slot("A1"), last);
    EXPECT_EQ(kept.Online("line-4"), "false");
    for (const StatusMessage& m : kept.messages)
        EXPECT_TRUE(m.retained);
}

TEST_F(StatusBrokerTest, ABrokerThatRestartsGetsEveryStateAgain) {
    Watched<PublisherStatus> statuses;
    const auto publisher = Publish(statuses);
    const SlotStatus a{.slot = "A1", .state = SlotState::Phone, .percent = 30};
    const SlotStatus b{.slot = "B1",
                       .state = SlotState::Failed,
                       .lastVerdict = "failed",
                       .lastReason = "no modem port"};
    publisher->Slot(a);
    publisher->Slot(b);
    statuses.Await([](const PublisherStatus& s) { return s.delivered == 3; }); // and online

    ASSERT_TRUE(broker->Stop());
    const std::string lost =
        statuses.Await([](const PublisherStatus& s) { return !s.connected; }).lastError;
    EXPECT_NE(lost.find("the connection to the status broker " + broker->Address() + " was lost"),
              std::string::npos)
        << lost;
    ASSERT_TRUE(broker->Resume()) << broker->Log(); // nothing retained any more
    statuses.Await([](const PublisherStatus& s) { return s.connected && s.delivered == 6; });

    Watched<Heard> late;
    const auto listening = Listen(late);
    const Heard kept = late.Await([](const Heard& h) {
        return h.Slot("A1") && h.Slot("B1") && h.Online("line-4") == "true";
    });
    EXPECT_EQ(kept.Slot("A1"), a);
    EXPECT_EQ(kept.Slot("B1"), b);
}

TEST_F(StatusBrokerTest, AStationKilledIsSaidOfflineByItsLastWill) {
    Watched<Heard> live;
    const auto listening = Listen(live);
    QProcess station;
    station.start(STATUS_CHILD, {QString::fromStdString(broker->Address()), "line-7", "B2"});
    while (!station.canReadLine() && station.waitForReadyRead(marlow::test::kStuckAfterMs)) {
    }
    ASSERT_EQ(station.readLine(), "ready\n") << station.readAllStandardError().toStdString();
    live.Await([](const Heard& h) { return h.Online("line-7") == "true"; });

    ::kill(static_cast<pid_t>(station.processId()), SIGKILL);
    station.waitForFinished(marlow::test::kStuckAfterMs);
    live.Await([](const Heard& h) { return h.Online("line-7") == "false"; });

    Watched<Heard> late;
    const auto lateListening = Listen(late);
    const Heard kept =
        late.Await([](const Heard& h) { return h.Slot("B2") && h.Online("line-7") == "false"; });
    EXPECT_EQ(kept.Slot("B2")->percent, 7); // its last state stays for the board
}

TEST_F(StatusBrokerTest, RefusedLoginsAndBrokersAwayAreSaidAndSlotsGoOn) {
    const auto guarded = StartBroker(test::MosquittoBroker::Login{"line4", "s3cret"});
    ASSERT_TRUE(guarded);
    test::TempDir dir;
    const std::string guardedAt = guarded->Address();
    struct Case {
        BrokerSettings settings;
        std::string said; // empty: connected
    };
    const std::vector<Case> cases = {
        {{guardedAt, "", dir.Write("right", "line4:s3cret\n", 0600)}, ""},
        {{guardedAt, "", dir.Write("wrong", "line4:guess\n", 0600)},
         "the status broker " + guardedAt +
             " refused the login (Connection Refused: not authorised.)"},
        {{guardedAt}, "refused the login"},
        {{"127.0.0.1:1"}, "the status broker 127.0.0.1:1 cannot be reached (Connection refused)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.said);
        Watched<PublisherStatus> statuses;
        const auto publisher = Publish(statuses, c.settings);
        publisher->Slot({.slot = "A1"}); // never waits, whatever the broker does
        const PublisherStatus status = statuses.Await(
            [](const PublisherStatus& s) { return s.connected || !s.lastError.empty(); });
        EXPECT_EQ(status.connected, c.said.empty());
        EXPECT_NE(status.lastError.find(c.said), std::string::npos) << status.lastError;
        EXPECT_EQ(status.lastError.find("s3cret"), std::string::npos);
    }
}

// marlow-cli monitor as a process; stdout is a pipe, so one line a change.
TEST_F(StatusBrokerTest, TheMonitorShowsWhatStationsPublish) {
    test::EnsureCoreApplication();
    Watched<PublisherStatus> statuses;
    const auto publisher = Publish(statuses);
    publisher->Slot({.slot = "A1",
                     .state = SlotState::Pda,
                     .file = "/img/NK.bin",
                     .percent = 42,
                     .elapsedMs = 83'000,
                     .lastVerdict = "passed",
                     .units = 4,
                     .firstPass = 3});
    statuses.Await([](const PublisherStatus& s) { return s.delivered == 2; });

    test::TempDir home;
    const auto monitor = [&](QStringList more) {
        auto process = std::make_unique<QProcess>();
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("XDG_CONFIG_HOME", QString::fromStdString(home.Path()));
        process->setProcessEnvironment(environment);
        process->start(MARLOW_CLI, QStringList{"monitor", "--status-broker",
                                               QString::fromStdString(broker->Address())} +
                                       more);
        return process;
    };
    // Reads lines until each of `wanted` has come, in any order.
    const auto readUntil = [](QProcess& process, const std::set<std::string>& wanted) {
        std::set<std::string> missing = wanted;
        std::vector<std::string> lines;
        while (!missing.empty() &&
               (process.canReadLine() || process.waitForReadyRead(marlow::test::kStuckAfterMs)))
            while (process.canReadLine()) {
                lines.push_back(process.readLine().trimmed().toStdString());
                missing.erase(lines.back());
            }
        EXPECT_TRUE(missing.empty())
            << testing::PrintToString(missing) << " not in " << testing::PrintToString(lines)
            << process.readAllStandardError().toStdString();
    };

    const auto board = monitor({"--station", "line-4"});
    const std::string slotLine = "line-4/A1 pda       NK.bin                    42%    1:23  "
                                 "last passed  units 4, first pass 75%";
    readUntil(*board, {slotLine, "line-4 online"});
    publisher->Stop();
    readUntil(*board, {"line-4 offline"});
    ::kill(static_cast<pid_t>(board->processId()), SIGINT);
    ASSERT_TRUE(board->waitForFinished(marlow::test::kStuckAfterMs));
    EXPECT_EQ(board->exitCode(), 130);

    const auto json = monitor({"--json"});
    ASSERT_TRUE(json->waitForReadyRead(marlow::test::kStuckAfterMs));
    const std::string line = json->readLine().toStdString();
    for (const char* field : {"\"event\":\"slot-state\"", "\"station\":\"line-4\"",
                              "\"state\":\"pda\"", "\"retained\":true", "\"percent\":42"})
        EXPECT_NE(line.find(field), std::string::npos) << line;
    json->kill();
    json->waitForFinished(marlow::test::kStuckAfterMs);
}

} // namespace
} // namespace marlow::status
