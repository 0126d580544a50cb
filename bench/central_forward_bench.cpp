// Forwarding a station's backlog to the central database: 10,000 finished
// records (each with a file, three steps, a chunk of events) sent as the
// forwarder sends them, in batches through Qt's PostgreSQL driver, against
// the anchor of the same rows loaded by `psql` with plain COPY from CSV
// files in one transaction. Both into a fresh database of a PostgreSQL
// server the benchmark starts itself (the tests' fixture), in the same
// iteration; `vs_copy` is COPY's time over the forwarder's.
#include "records/central.h"
#include "records/outbox.h"
#include "records/store.h"
#include "support/postgres_server.h"

#include <QCoreApplication>
#include <QProcess>
#include <QSqlRecord>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

#include <chrono>
#include <fstream>
#include <random>

namespace {

using namespace marlow;
using namespace marlow::records;

constexpr int kRecords = 10'000;
constexpr const char* kTables[] = {"runs", "run_inputs", "run_steps", "run_events", "run_stamps"};

test::PostgresServer& Server() {
    static std::unique_ptr<test::PostgresServer> server = [] {
        auto started = test::PostgresServer::Start();
        if (!started) {
            std::fprintf(stderr, "%s\n", started.Error().c_str());
            std::exit(1);
        }
        return std::move(*started);
    }();
    return *server;
}

// The station: kRecords finished records, all in its outbox.
const RunStore& Station(const QTemporaryDir& dir) {
    static std::unique_ptr<RunStore> store = [&] {
        auto opened = RunStore::Open({.path = dir.filePath("runs.sqlite").toStdString()});
        const SqlSession& session = (*opened)->Session();
        std::mt19937 random(1);
        QByteArray lines;
        for (int i = 0; i < 200; ++i)
            lines += "{\"event\":\"percent-reached\",\"percent\":" + QByteArray::number(i) + "}\n";
        const QByteArray events = qCompress(lines);
        (void)session.InTransaction([&]() -> Status {
            std::int64_t at = 1'700'000'000'000;
            for (int i = 0; i < kRecords; ++i, at += 26'000) {
                const QString id = QString("run-%1").arg(i, 6, 10, QChar('0'));
                const bool passed = random() % 20 != 0;
                (void)session.Exec(
                    "INSERT INTO runs VALUES (?, 'line-1', ?, 'cli total', 'op', '1.4.0', "
                    "'total', ?, ?, '', ?, ?, ?, ?, ?, ?, 'host', 1, 'boot')",
                    {id, QString("1-%1").arg(i % 8), QString("1-%1").arg(i % 8),
                     QString("SN%1").arg(i), static_cast<qlonglong>(at),
                     static_cast<qlonglong>(at + 25'000), passed ? "passed" : "failed",
                     passed ? "" : "Download Aborted!", passed ? "" : "device",
                     passed ? "" : "pda"});
                (void)session.Exec("INSERT INTO run_inputs VALUES (?, 0, 'image', "
                                   "'/img/NK.bin', 33554432, ?, 'Q1', 'V2', '')",
                                   {id, QString(64, QChar('a' + i % 6))});
                for (int step = 0; step < 3; ++step)
                    (void)session.Exec("INSERT INTO run_steps VALUES (?, ?, 'pda-image', 'NK', "
                                       "?, ?, 1048576, 0, 'passed')",
                                       {id, step, static_cast<qlonglong>(at + step * 8000),
                                        static_cast<qlonglong>(at + step * 8000 + 7000)});
                (void)session.Exec("INSERT INTO run_events VALUES (?, 0, 200, ?)", {id, events});
            }
            return {};
        });
        return std::move(*opened);
    }();
    return *store;
}

// A table as CSV for COPY: NULL unquoted and empty, texts quoted, bytes in
// bytea's hex form.
void WriteCsv(const SqlSession& session, const char* table, const std::string& path) {
    std::ofstream out(path);
    Result<QSqlQuery> q = session.Run(QString("SELECT * FROM %1").arg(table));
    while (q->next()) {
        for (int column = 0; column < q->record().count(); ++column) {
            const QVariant value = q->value(column);
            out << (column > 0 ? "," : "");
            if (value.isNull())
                continue;
            if (value.typeId() == QMetaType::QByteArray)
                out << "\"\\x" << value.toByteArray().toHex().toStdString() << '"';
            else if (value.typeId() == QMetaType::QString)
                out << '"' << value.toString().replace("\"", "\"\"").toStdString() << '"';
            else
                out << value.toString().toStdString();
        }
        out << '\n';
    }
}

std::string FreshCentral(const char* use) {
    static int made = 0;
    const std::string dsn = *Server().CreateDatabase(use + std::to_string(++made));
    (void)CentralDatabase::Open({dsn, Server().PasswordFile()}, CentralUse::Init);
    return dsn;
}

double Seconds(std::chrono::steady_clock::duration took) {
    return std::chrono::duration<double>(took).count();
}

void BM_ForwardBacklogVsCopy(benchmark::State& state) {
    static QTemporaryDir dir;
    const SqlSession& local = Station(dir).Session();
    const std::string script = dir.filePath("copy.sql").toStdString();
    {
        std::ofstream copy(script);
        for (const char* table : kTables) {
            const std::string csv = dir.filePath(table).toStdString() + ".csv";
            WriteCsv(local, table, csv);
            copy << "\\copy " << table << " FROM '" << csv << "' WITH (FORMAT csv)\n";
        }
    }
    int iteration = 0;
    double forwardSeconds = 0;
    double copySeconds = 0;
    for (auto _ : state) {
        ++iteration;
        const std::string copyInto = FreshCentral("copy");
        const std::string forwardInto = FreshCentral("forward");
        (void)local.Exec("DELETE FROM run_outbox");
        (void)local.Exec("INSERT INTO run_outbox (run_id) SELECT run_id FROM runs ORDER BY run_id");

        QProcess psql;
        psql.setProcessChannelMode(QProcess::MergedChannels);
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("PGPASSWORD", test::PostgresServer::kPassword);
        psql.setProcessEnvironment(environment);
        auto began = std::chrono::steady_clock::now();
        psql.start(QString::fromStdString(Server().BinFolder() + "/psql"),
                   {"-X", "-q", "-1", "-v", "ON_ERROR_STOP=1", "-d",
                    QString::fromStdString(copyInto), "-f", QString::fromStdString(script)});
        psql.waitForFinished(-1);
        copySeconds += Seconds(std::chrono::steady_clock::now() - began);
        if (psql.exitCode() != 0)
            state.SkipWithError(
                ("psql: " + psql.errorString() + psql.readAll()).toStdString().c_str());

        began = std::chrono::steady_clock::now();
        auto central =
            CentralDatabase::Open({forwardInto, Server().PasswordFile()}, CentralUse::Forward);
        for (;;) {
            const Result<int> sent = ForwardBatch(local, (*central)->Session());
            if (!sent)
                state.SkipWithError(sent.Error().c_str());
            if (!sent || *sent == 0)
                break;
        }
        forwardSeconds += Seconds(std::chrono::steady_clock::now() - began);
    }
    state.counters["records_per_s"] = kRecords * iteration / forwardSeconds;
    state.counters["copy_records_per_s"] = kRecords * iteration / copySeconds;
    state.counters["vs_copy"] = copySeconds / forwardSeconds;
}

} // namespace

BENCHMARK(BM_ForwardBacklogVsCopy)->Iterations(3)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (const auto missing = test::PostgresServer::Missing()) {
        std::printf("bench_central_forward: skipped: %s\n", missing->c_str());
        return 0;
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
