// The run store: its schema and migrations, a record's round trip, and what
// happens when the store or the program recording into it fails.

#include "records/outbox.h"
#include "records/run_queries.h"
#include "records/run_writer.h"
#include "records/schema.h"
#include "records/store.h"
#include "support/hang_bound.h"
#include "support/qt_events.h"
#include "support/temp_dir.h"

#include <QProcess>
#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace marlow::records {
namespace {

using namespace std::chrono_literals;

class RunStoreTest : public ::testing::Test {
protected:
    void SetUp() override { test::EnsureCoreApplication(); }

    std::unique_ptr<RunStore> Open(StoreAccess access = StoreAccess::Query) {
        Result<std::unique_ptr<RunStore>> store = RunStore::Open({.path = path, .access = access});
        EXPECT_TRUE(store) << store.Error();
        return store ? std::move(*store) : nullptr;
    }

    // Records one whole run in this process; returns the finish's status. A
    // finish found locked is tried again for as long as the busy time-out.
    Status Record(RunFacts facts, std::chrono::milliseconds busyWait = 5000ms) {
        const auto writer =
            RunWriter::Start({.storePath = path, .busyWait = busyWait, .lockedRetries = busyWait});
        const auto run = writer->Begin(std::move(facts));
        run->Input({.role = "image", .path = "/img/NK.bin", .size = 10, .sha256 = "ab"});
        return run->Finish({.verdict = RecordVerdict::Passed}).get();
    }

    std::vector<RunRecord> All() {
        const auto store = Open();
        Result<std::vector<RunRecord>> runs = FindRuns(store->Session(), {}, Detail::Steps);
        EXPECT_TRUE(runs) << runs.Error();
        return runs ? *runs : std::vector<RunRecord>{};
    }

    // record_child in a process of its own; `line` is what it said first.
    struct Child {
        QProcess process;
        std::string line;
    };
    std::unique_ptr<Child> StartChild(const QStringList& arguments) {
        auto child = std::make_unique<Child>();
        child->process.start(RECORD_CHILD, QStringList{QString::fromStdString(path)} + arguments);
        EXPECT_TRUE(child->process.waitForStarted());
        const auto until = std::chrono::steady_clock::now() + test::kStuckAfter;
        while (!child->process.canReadLine() && child->process.state() != QProcess::NotRunning &&
               std::chrono::steady_clock::now() < until)
            child->process.waitForReadyRead(100);
        child->line = child->process.readLine().trimmed().toStdString();
        return child;
    }

    test::TempDir dir;
    std::string path = dir.File("station/runs.sqlite");
};

TEST_F(RunStoreTest, ANewStoreIsTheOwnersAloneAtTheLatestSchema) {
    const auto store = Open(StoreAccess::Record);
    EXPECT_EQ(*SchemaVersion(store->Session()), LatestSchemaVersion());
    struct stat status {};
    ASSERT_EQ(::stat(path.c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 0777, 0600u);
}

TEST_F(RunStoreTest, MigrationsRunInOrderEachWhole) {
    std::vector<Migration> good(Migrations().begin(), Migrations().end());
    std::vector<Migration> broken = good;
    good.push_back({LatestSchemaVersion() + 1,
                    {"ALTER TABLE runs ADD COLUMN shift TEXT NOT NULL DEFAULT 'early'"}});
    broken.push_back(
        {LatestSchemaVersion() + 1, {"ALTER TABLE runs ADD COLUMN shift TEXT", "this is not SQL"}});
    std::filesystem::create_directories(dir.File("station"));
    {
        QSqlDatabase::addDatabase("QSQLITE", "first").setDatabaseName(QString::fromStdString(path));
        const SqlSession first("first", Dialect::Sqlite, path, 5000ms);
        ASSERT_TRUE(first.Database().open());
        ASSERT_EQ(*Migrate(first, std::vector<Migration>{Migrations().front()}), 1);
        ASSERT_TRUE(first.Exec("INSERT INTO runs VALUES ('before-v2', 's', '', '', '', '', '', "
                               "'', '', '', 1, 2, 'passed', '', '', '', '', 0, '')"));
        first.Database().close();
    }
    QSqlDatabase::removeDatabase("first");
    const auto store = Open();
    // What was finished before the outbox came waits in it.
    EXPECT_EQ(ReadOutbox(store->Session())->backlog, 1);
    EXPECT_FALSE(Migrate(store->Session(), broken));
    EXPECT_EQ(*SchemaVersion(store->Session()), LatestSchemaVersion());
    EXPECT_EQ(*Migrate(store->Session(), good), LatestSchemaVersion() + 1);
    Result<QSqlQuery> shift = store->Session().Run("SELECT run_id, shift FROM runs");
    ASSERT_TRUE(shift && shift->next());
    EXPECT_EQ(shift->value(0).toString(), "before-v2");
    EXPECT_EQ(shift->value(1).toString(), "early");
    shift->finish();
    const Result<int> older = Migrate(store->Session());
    EXPECT_NE(older.Error().find("was made by a newer Marlow"), std::string::npos) << older.Error();
}

TEST_F(RunStoreTest, ARecordComesBackAsItWasWritten) {
    const auto writer = RunWriter::Start({.storePath = path});
    const auto run = writer->Begin({.stationId = "line-4",
                                    .slot = "1-2.3",
                                    .frontEnd = "cli total",
                                    .operatorName = "ann",
                                    .marlowVersion = "1.4.0",
                                    .kind = "total",
                                    .handset = {.usbPath = "1-2.3"}});
    const InputFacts list{.role = "list", .path = "/img/all.lst", .size = 99, .sha256 = "cd"};
    const InputFacts image{.role = "image",
                           .path = "/img/NK.bin",
                           .size = 4096,
                           .sha256 = "ef",
                           .model = "Q1",
                           .version = "V2",
                           .source = "/img/all.lst"};
    run->Input(list);
    run->Input(image);
    run->StepEnded(run->StepStarted("pda-image", "NK.bin"), "passed", 4096);
    const int boot = run->StepStarted("phone-boot", "boot");
    run->Handset({.usbPath = "1-2.3", .serialNumber = "SN7", .modemPort = "/dev/ttyACM0"});
    run->StepEnded(boot, "passed", std::nullopt, 1);
    std::vector<std::string> lines;
    for (int i = 0; i < 5000; ++i) // several compressed chunks
        lines.push_back("{\"event\":\"percent-reached\",\"percent\":" + std::to_string(i) + "}");
    for (const std::string& line : lines)
        run->Event(line);
    run->Stamp({.file = "/img/NK.bin",
                .digestBefore = "01",
                .digestAfter = "02",
                .model = "Q1",
                .version = "V2"});
    ASSERT_TRUE(run->Finish({.verdict = RecordVerdict::Failed,
                             .reason = "Boot Failed",
                             .errorClass = ErrorClass::Device,
                             .half = Half::Phone})
                    .get());

    const auto store = Open();
    const Result<RunRecord> back = LoadRun(store->Session(), run->RunId().substr(0, 8));
    ASSERT_TRUE(back) << back.Error();
    EXPECT_EQ(back->facts.stationId, "line-4");
    EXPECT_EQ(back->facts.handset.serialNumber, "SN7");
    EXPECT_EQ(back->facts.handset.modemPort, "/dev/ttyACM0");
    EXPECT_EQ(back->inputs, (std::vector<InputFacts>{list, image}));
    ASSERT_EQ(back->steps.size(), 2u);
    EXPECT_EQ(back->steps[0].bytes, 4096);
    EXPECT_EQ(back->steps[1].retries, 1);
    EXPECT_FALSE(back->steps[1].bytes);
    EXPECT_EQ(back->stamp->digestAfter, "02");
    EXPECT_EQ(back->ending.verdict, RecordVerdict::Failed);
    EXPECT_EQ(back->ending.errorClass, ErrorClass::Device);
    EXPECT_EQ(back->ending.half, Half::Phone);
    EXPECT_EQ(*LoadEvents(store->Session(), run->RunId()), lines);
}

TEST_F(RunStoreTest, ARunWhoseProgramDiedIsInterruptedALiveOneIsNot) {
    ASSERT_TRUE(Record({.stationId = "s"}));
    const auto child = StartChild({"hold"});
    ASSERT_EQ(child->line.rfind("begun ", 0), 0u) << child->line;
    const std::string runId = child->line.substr(6);
    const auto verdictOf = [&] {
        const auto store = Open();
        return LoadRun(store->Session(), runId)->ending.verdict;
    };
    EXPECT_EQ(verdictOf(), RecordVerdict::Running);
    ::kill(static_cast<pid_t>(child->process.processId()), SIGKILL);
    child->process.waitForFinished();
    EXPECT_EQ(verdictOf(), RecordVerdict::Interrupted);
    // What it had written of its events is kept as evidence.
    EXPECT_FALSE(LoadEvents(Open()->Session(), runId)->empty());
    EXPECT_EQ(All().front().ending.verdict, RecordVerdict::Passed);
}

TEST_F(RunStoreTest, FourProcessesRecordingAtOnceLoseNothing) {
    std::vector<std::unique_ptr<QProcess>> children;
    for (int i = 0; i < 4; ++i) {
        children.push_back(std::make_unique<QProcess>());
        children.back()->start(RECORD_CHILD, {QString::fromStdString(path), "runs", "25"});
    }
    for (const auto& child : children) {
        ASSERT_TRUE(child->waitForFinished(60000)); // four writers fsyncing on a loaded disk
        EXPECT_EQ(child->exitCode(), 0) << child->readAll().toStdString();
    }
    const std::vector<RunRecord> runs = All();
    ASSERT_EQ(runs.size(), 100u);
    for (const RunRecord& run : runs) {
        EXPECT_EQ(run.ending.verdict, RecordVerdict::Passed);
        EXPECT_EQ(run.steps.size(), 1u);
        EXPECT_EQ(run.inputs.size(), 1u);
    }
}

// Four writers fsyncing on a loaded disk can hold the lock past the busy
// time-out: the finish that met it is tried again until it lands.
TEST_F(RunStoreTest, AFinishFoundLockedLandsOnceTheLockIsGone) {
    const auto holder = Open(StoreAccess::Record);
    ASSERT_TRUE(holder->Session().Exec("BEGIN IMMEDIATE"));
    const auto writer = RunWriter::Start({.storePath = path, .busyWait = 10ms});
    const auto run = writer->Begin({.runId = "late", .stationId = "s"});
    const std::shared_future<Status> finished = run->Finish({.verdict = RecordVerdict::Passed});
    ASSERT_TRUE(writer->Settle(60s)); // its first try has met the lock
    EXPECT_NE(finished.wait_for(0s), std::future_status::ready);
    ASSERT_TRUE(holder->Session().Exec("ROLLBACK"));
    ASSERT_EQ(finished.wait_for(60s), std::future_status::ready);
    EXPECT_TRUE(finished.get()) << finished.get().Error();
    const std::vector<RunRecord> runs = All();
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(runs.front().ending.verdict, RecordVerdict::Passed);
}

// Each way a store fails: the run is told why it is not recorded, and the
// records made before are still there, unchanged.
TEST_F(RunStoreTest, AFailingStoreSaysWhyAndKeepsEarlierRecords) {
    const std::string folder = std::filesystem::path(path).parent_path();
    const bool root = ::geteuid() == 0;
    struct Case {
        const char* name;
        std::function<std::string()> recordBroken; // the status text
        const char* expected;
    };
    const auto child = [this](const QStringList& arguments) {
        const auto run = StartChild(arguments);
        run->process.waitForFinished(test::kStuckAfterMs);
        return run->line;
    };
    const auto readOnly = [&](const std::string& target) {
        if (root) // root writes through any file mode
            return child({"read-only"});
        ::chmod(target.c_str(), 0500);
        const std::string said = "status: " + Record({.stationId = "s"}).Error();
        // Made writable again the way its owner would, its -wal and -shm
        // files (made while it was read-only) too.
        ::chmod(folder.c_str(), 0700);
        for (const auto& file : std::filesystem::directory_iterator(folder))
            ::chmod(file.path().c_str(), 0600);
        return said;
    };
    const std::vector<Case> cases = {
        {"read-only file", [&] { return readOnly(path); }, "cannot be written"},
        {"read-only folder", [&] { return readOnly(folder); }, "cannot be written"},
        {"full disk",
         [&] {
             return child({"fsize", "200000"});
         },
         "could not be written"},
        {"locked",
         [&] {
             const auto holder = Open();
             EXPECT_TRUE(holder->Session().Exec("BEGIN IMMEDIATE"));
             // What RunRecords=required asks before a run starts.
             EXPECT_FALSE(RunWriter::Start({.storePath = path, .busyWait = 100ms})->CanRecord(60s));
             const std::string said = "status: " + Record({.stationId = "s"}, 100ms).Error();
             EXPECT_TRUE(holder->Session().Exec("ROLLBACK"));
             return said;
         },
         "stayed locked by another program"},
    };
    ASSERT_TRUE(Record({.runId = "earlier", .stationId = "s"}));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string said = c.recordBroken();
        EXPECT_EQ(said.rfind("status: the run store " + path, 0), 0u) << said;
        EXPECT_NE(said.find(c.expected), std::string::npos) << said;
        const std::vector<RunRecord> runs = All();
        ASSERT_FALSE(runs.empty());
        EXPECT_EQ(runs.front().facts.runId, "earlier");
        EXPECT_EQ(runs.front().ending.verdict, RecordVerdict::Passed);
        for (const RunRecord& run : runs)
            EXPECT_NE(run.ending.verdict, RecordVerdict::Running);
    }
    // A file that is no database is refused and left as it was.
    test::WriteFile(path, std::string(8192, 'x'));
    const std::string damaged = Record({.stationId = "s"}).Error();
    EXPECT_NE(damaged.find("is damaged"), std::string::npos) << damaged;
    EXPECT_EQ(test::ReadFileText(path), std::string(8192, 'x'));
}

} // namespace
} // namespace marlow::records
