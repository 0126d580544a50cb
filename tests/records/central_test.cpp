// The central database on a real PostgreSQL: the schema Marlow makes there,
// records that arrive exactly once and in order whatever the server does,
// the forwarder's thread, the words for a login that fails, and
// marlow-cli's commands against it.

#include "records/central.h"
#include "records/forwarder.h"
#include "records/run_writer.h"
#include "records/schema.h"
#include "records/store.h"
#include "support/postgres_server.h"
#include "support/qt_events.h"
#include "support/temp_dir.h"
#include "support/watched.h"

#include <QProcess>
#include <QSqlRecord>
#include <gtest/gtest.h>

namespace marlow::records {
namespace {

using namespace std::chrono_literals;

class CentralTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        test::EnsureCoreApplication();
        if (test::PostgresServer::Missing())
            return;
        Result<std::unique_ptr<test::PostgresServer>> started = test::PostgresServer::Start();
        server = started ? started->release() : nullptr;
        startError = started ? "" : started.Error();
    }
    static void TearDownTestSuite() { delete server; }

    void SetUp() override {
        if (const auto missing = test::PostgresServer::Missing())
            GTEST_SKIP() << *missing;
        ASSERT_NE(server, nullptr) << startError;
        static int databases = 0;
        const Result<std::string> dsn = server->CreateDatabase("t" + std::to_string(++databases));
        ASSERT_TRUE(dsn) << dsn.Error();
        central = {.dsn = *dsn, .passwordFile = server->PasswordFile()};
    }

    std::unique_ptr<CentralDatabase> Open(CentralUse use = CentralUse::Query) {
        Result<std::unique_ptr<CentralDatabase>> opened = CentralDatabase::Open(central, use);
        EXPECT_TRUE(opened) << opened.Error();
        return opened ? std::move(*opened) : nullptr;
    }
    std::unique_ptr<RunStore> Local() { return std::move(*RunStore::Open({.path = path})); }

    // Records runs on slots A and B, every third one failed; returns their ids.
    std::vector<std::string> Record(int count) {
        const auto writer = RunWriter::Start({.storePath = path});
        std::vector<std::string> ids;
        for (int i = 0; i < count; ++i) {
            const auto run = writer->Begin({.stationId = "line-4", .slot = i % 2 ? "A" : "B"});
            run->Input({.role = "image", .path = "/img/line's NK.bin", .sha256 = "ab"});
            if (i == 0)
                run->Stamp({.file = "/img/line's NK.bin", .digestBefore = "ab", .model = "Q1"});
            run->StepEnded(run->StepStarted("pda-image", "NK"), "passed", 4096);
            run->Event("{\"event\":\"percent-reached\",\"percent\":" + std::to_string(i) + "}");
            const RecordVerdict verdict = i % 3 ? RecordVerdict::Passed : RecordVerdict::Failed;
            EXPECT_TRUE(run->Finish({.verdict = verdict}).get());
            ids.push_back(run->RunId());
        }
        return ids;
    }

    Status Forward(const ForwardOptions& options = {}) {
        const Result<std::unique_ptr<CentralDatabase>> opened =
            CentralDatabase::Open(central, CentralUse::Forward);
        if (!opened)
            return Failure{opened.Error()};
        for (;;) {
            const Result<int> sent =
                ForwardBatch(Local()->Session(), (*opened)->Session(), options);
            if (!sent || *sent == 0)
                return sent ? Status{} : Status{Failure{sent.Error()}};
        }
    }

    // What the central database holds: each table's rows, or the run ids.
    std::vector<std::string> Central(const char* sql) {
        std::vector<std::string> rows;
        const auto db = Open();
        for (Result<QSqlQuery> q = db->Session().Run(sql); q && q->next();)
            rows.push_back(q->value(0).toString().toStdString());
        return rows;
    }
    std::set<std::string> CentralIds() {
        const std::vector<std::string> ids = Central("SELECT run_id FROM runs");
        return {ids.begin(), ids.end()};
    }
    void Resume() {
        const Status resumed = server->Resume();
        ASSERT_TRUE(resumed) << resumed.Error();
    }

    static inline test::PostgresServer* server = nullptr;
    static inline std::string startError;
    test::TempDir dir;
    std::string path = dir.File("runs.sqlite");
    CentralSettings central;
};

TEST_F(CentralTest, CentralInitMakesTheStationsTablesThere) {
    const std::string before = CentralDatabase::Open(central, CentralUse::Forward).Error();
    EXPECT_NE(before.find("holds no Marlow schema yet; run 'marlow-cli"), std::string::npos)
        << before;
    ASSERT_TRUE(Open(CentralUse::Init));
    const auto db = Open(CentralUse::Init); // a second time changes nothing
    EXPECT_EQ(db->SchemaVersionFound(), LatestSchemaVersion());
    const auto local = Local();
    const auto columns = [](const SqlSession& session, const char* table) {
        const QSqlRecord record = session.Database().record(table);
        QStringList names;
        for (int i = 0; i < record.count(); ++i)
            names << record.fieldName(i);
        return names;
    };
    for (const char* table : {"runs", "run_inputs", "run_steps", "run_events", "run_stamps"})
        EXPECT_EQ(columns(local->Session(), table), columns(db->Session(), table)) << table;
    EXPECT_FALSE(db->Session().Database().tables().contains("run_outbox"));
}

TEST_F(CentralTest, EveryRecordArrivesOnceAndInOrderWhateverTheServerDoes) {
    ASSERT_TRUE(Open(CentralUse::Init));
    ASSERT_TRUE(server->Stop());
    const std::vector<std::string> ids = Record(16); // recorded while the server is down
    const std::string down = Forward().Error();
    EXPECT_NE(down.find("cannot be reached"), std::string::npos) << down;
    EXPECT_EQ(ReadOutbox(Local()->Session())->backlog, 16);

    Resume();
    int batches = 0;
    const Status killed = Forward({.batch = 5, .beforeCommit = [&] {
                                       if (++batches == 2)
                                           server->Kill();
                                   }});
    EXPECT_FALSE(killed);
    Resume();
    EXPECT_EQ(CentralIds(), std::set<std::string>(ids.begin(), ids.begin() + 5));
    ASSERT_TRUE(Forward());
    EXPECT_EQ(CentralIds(), std::set<std::string>(ids.begin(), ids.end()));
    const char* counts = "SELECT concat_ws(' ', (SELECT count(*) FROM runs), (SELECT count(*) "
                         "FROM run_inputs), (SELECT count(*) FROM run_steps), (SELECT count(*) "
                         "FROM run_events), (SELECT count(*) FROM run_stamps))";
    const std::vector<std::string> arrived = Central(counts);
    EXPECT_EQ(arrived, std::vector<std::string>{"16 16 16 16 1"});

    // Sent again (the server took them, the station never heard): nothing doubles.
    ASSERT_TRUE(Local()->Session().Exec("INSERT INTO run_outbox (run_id) SELECT run_id FROM runs"));
    ASSERT_TRUE(Forward());
    EXPECT_EQ(Central(counts), arrived);
    EXPECT_EQ(ReadOutbox(Local()->Session())->backlog, 0);
}

using Statuses = test::Watched<ForwarderStatus>;

TEST_F(CentralTest, TheForwarderWaitsForTheServerAndCatchesUp) {
    ASSERT_TRUE(Open(CentralUse::Init));
    ASSERT_TRUE(server->Stop());
    Record(3);
    Statuses statuses;
    const auto forwarder = Forwarder::Start({.storePath = path,
                                             .central = central,
                                             .firstRetry = 10ms,
                                             .longestRetry = 50ms,
                                             .statusChanged = std::ref(statuses)});
    statuses.Await([](const ForwarderStatus& s) { return !s.lastError.empty(); });
    Resume();
    statuses.Await([](const ForwarderStatus& s) { return s.forwarded == 3; });
    Record(2); // finished while it runs: the store's change wakes it
    const ForwarderStatus done =
        statuses.Await([](const ForwarderStatus& s) { return s.forwarded == 5; });
    EXPECT_EQ(done, (ForwarderStatus{.backlog = 0, .forwarded = 5}));
    EXPECT_EQ(CentralIds().size(), 5u);
    Record(2); // the last runs before the station's end go with it
    EXPECT_EQ(forwarder->Finish(std::chrono::milliseconds(test::kStuckAfterMs)), 0);
    EXPECT_EQ(CentralIds().size(), 7u);
}

TEST_F(CentralTest, ALoginThatFailsSaysWhyAndRecordingGoesOn) {
    ASSERT_TRUE(Open(CentralUse::Init));
    const std::string wrongPassword = dir.Write("wrong", "not it\n", 0600);
    const std::string shared = dir.Write("shared", test::PostgresServer::kPassword, 0644);
    struct Case {
        CentralSettings settings;
        std::string said;
    };
    const std::vector<Case> cases = {
        {{central.dsn, wrongPassword}, "refused the login (connection to server"},
        {{central.dsn + " host=127.0.0.1 port=1", server->PasswordFile()},
         "cannot be reached (connection to server at \"127.0.0.1\", port 1 failed"},
        {{central.dsn, shared},
         "the password file " + shared +
             " may be read by others (mode 0644); make it its "
             "owner's alone: chmod 600 " +
             shared},
        {{central.dsn + " password=hunter2"}, "password=*** holds a password; take it out"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.said);
        Statuses statuses;
        const auto forwarder = Forwarder::Start(
            {.storePath = path, .central = c.settings, .statusChanged = std::ref(statuses)});
        const std::string error =
            statuses.Await([](const ForwarderStatus& s) { return !s.lastError.empty(); }).lastError;
        EXPECT_NE(error.find(c.said), std::string::npos) << error;
        EXPECT_EQ(error.find("hunter2"), std::string::npos) << error;
        EXPECT_EQ(Record(1).size(), 1u); // recorded all the same
        forwarder->Stop();
        EXPECT_EQ(ReadOutbox(Local()->Session())->lastError, error);
    }
}

// marlow-cli as a script runs it; libpq's own password file this time.
TEST_F(CentralTest, MarlowCliForwardsAndReadsTheCentralDatabase) {
    const std::string pgpass =
        dir.Write("pgpass", "*:*:*:marlow:" + std::string(test::PostgresServer::kPassword), 0600);
    const auto cli = [&](QStringList args) {
        QProcess process;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("PGPASSFILE", QString::fromStdString(pgpass));
        environment.insert("XDG_CONFIG_HOME", QString::fromStdString(dir.File("settings")));
        process.setProcessEnvironment(environment);
        process.start(MARLOW_CLI, QStringList{"runs"} + args);
        process.waitForFinished(test::kStuckAfterMs);
        return std::pair{process.exitCode(), process.readAllStandardOutput().toStdString() +
                                                 process.readAllStandardError().toStdString()};
    };
    const QString dsn = QString::fromStdString(central.dsn);
    const QString store = QString::fromStdString(path);
    const QString first = QString::fromStdString(Record(4).front());
    EXPECT_EQ(cli({"forward", "--run-store", store}).first, 2);                   // none named
    EXPECT_EQ(cli({"forward", "--run-store", store, "--central", dsn}).first, 1); // no schema
    EXPECT_EQ(cli({"central-init", "--central", dsn}).first, 0);
    EXPECT_EQ(cli({"forward", "--run-store", store, "--central", dsn, "--json"}),
              std::pair(0, std::string("{\"backlog\":0,\"error\":\"\",\"forwarded\":4}\n")));
    const auto outbox = cli({"outbox", "--run-store", store, "--json"}).second;
    EXPECT_NE(outbox.find("\"backlog\":0"), std::string::npos) << outbox;
    EXPECT_NE(outbox.find("\"forwarded\":4"), std::string::npos) << outbox;
    // Read there, they are what the station has.
    for (const QStringList& query : {QStringList{"yield", "--json", "--station", "line-4"},
                                     {"list", "--verdict", "failed"},
                                     {"export", "--json"},
                                     {"show", first, "--events", "--json"}})
        EXPECT_EQ(cli(query + QStringList{"--central", dsn}),
                  cli(query + QStringList{"--run-store", store}))
            << query.join(' ').toStdString();
    // So is the report, but for where it was read and when it was made.
    const auto report = [&](const QString& option, const QString& source) {
        const std::string file = dir.File("report.html");
        EXPECT_EQ(cli({"report", "--html", QString::fromStdString(file), option, source}).first, 0);
        std::string page;
        for (const QString& line : QString::fromStdString(test::ReadFileText(file)).split('\n'))
            if (!line.startsWith("<dl class=\"facts\">") && !line.startsWith("<footer>"))
                page += line.toStdString() + "\n";
        return page;
    };
    const std::string page = report("--central", dsn);
    EXPECT_NE(page.find("<th scope=\"row\">B</th>"), std::string::npos) << page;
    EXPECT_EQ(page, report("--run-store", store));
}

} // namespace
} // namespace marlow::records
