// The run store at the size of a busy line: `runs yield` over 100,000
// records (goal: under a second), and what one record with its event
// stream costs on the disk.
#include "records/record_builder.h"
#include "records/run_queries.h"
#include "records/run_writer.h"
#include "records/store.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

#include <random>

namespace {

using namespace marlow::records;

constexpr int kRecords = 100'000;

// 100,000 runs of 8 slots over 30 days, 1 in 20 failing and most failures
// retried, written in one transaction as a store that grew for months.
const RunStore& BigStore() {
    static QTemporaryDir dir;
    static std::unique_ptr<RunStore> store = [] {
        auto opened = RunStore::Open({.path = dir.filePath("runs.sqlite").toStdString()});
        const SqlSession& session = (*opened)->Session();
        std::mt19937 random(1);
        (void)session.InTransaction([&]() -> marlow::Status {
            std::int64_t at = 1'700'000'000'000;
            for (int i = 0; i < kRecords; ++i) {
                at += 26'000;
                const QString id = QString::number(i);
                const int slot = static_cast<int>(random() % 8);
                const bool passed = random() % 20 != 0;
                (void)session.Exec(
                    "INSERT INTO runs VALUES (?, 'line-1', ?, 'station', 'op', '1.4.0', 'total', "
                    "?, ?, '', ?, ?, ?, '', '', '', 'host', 1, '')",
                    {id, QString("1-%1").arg(slot), QString("1-%1").arg(slot),
                     QString("SN%1").arg(passed || i % 3 == 0 ? i : i + 1),
                     static_cast<qlonglong>(at), static_cast<qlonglong>(at + 25'000),
                     passed ? "passed" : "failed"});
                (void)session.Exec(
                    "INSERT INTO run_inputs VALUES (?, 0, 'list', '/img/all.lst', 1, ?, '', '', "
                    "'')",
                    {id, QString("digest-%1").arg(i / 10'000)});
            }
            return {};
        });
        return std::move(*opened);
    }();
    return *store;
}

void BM_YieldOf100000Records(benchmark::State& state) {
    const auto by = static_cast<YieldBy>(state.range(0));
    const RunStore& store = BigStore();
    for (auto _ : state)
        benchmark::DoNotOptimize(Yield(store.Session(), {}, by));
}

// A Total run's events as the engines tell them: a list of three images
// (256 KiB, 32 MiB, 4 MiB in 64 KiB records), the hand-over, and the
// phone's four parts with a library report a percent.
void FeedTotalRun(RecordBuilder& builder) {
    using namespace marlow;
    const std::pair<const char*, std::uint32_t> images[] = {
        {"EBOOT", 256 << 10}, {"NK", 32 << 20}, {"APPS", 4 << 20}};
    int number = 0;
    for (const auto& [name, length] : images) {
        builder.Follow(pda::PdaEvent{pda::ImageStarted{++number, name, true, 3}});
        builder.Follow(pda::PdaEvent{pda::HeaderRead{0x80000000, length}});
        const std::uint32_t records = length / (64 << 10);
        for (std::uint32_t r = 0; r < records; ++r) {
            builder.Follow(pda::PdaEvent{pda::StateVisited{pda::PdaState::RECORDHEADER_STATE}});
            builder.Follow(
                pda::PdaEvent{pda::StateEntered{pda::PdaState::RECORDDATA_STATE, number, name}});
            builder.Follow(pda::PdaEvent{pda::RecordStarted{static_cast<int>(r * 100 / records)}});
            builder.Follow(pda::PdaEvent{
                pda::PercentReached{number, name, static_cast<int>((r + 1) * 100 / records)}});
            builder.Follow(pda::PdaEvent{pda::ReplyAwaited{pda::PdaCommand::LAST_DATA_IN_RECORD,
                                                           pda::ReplyResult::Received}});
        }
    }
    builder.Follow(pda::PdaEvent{pda::PhoneDownNext{true}});
    builder.Follow(pda::PdaEvent{RunFinished{Verdict::Passed, ""}});
    builder.Follow(phone::PhoneRunEvent{phone::PortWaitStarted{true}});
    builder.Follow(phone::PhoneRunEvent{phone::PortFound{1}});
    builder.Follow(phone::PhoneRunEvent{phone::BootStarted{}});
    for (const char* part : {"psi.flb", "slb.flb", "a.fls", "a.eep"}) {
        builder.Follow(
            phone::PhoneRunEvent{phone::PartStarted{phone::PhoneFileRole::Firmware, part}});
        for (int percent = 0; percent <= 100; ++percent)
            builder.Follow(phone::PhoneRunEvent{
                phone::LibraryReport{4, "Downloading " + std::to_string(percent) + "%", percent}});
    }
    builder.Follow(phone::PhoneRunEvent{phone::PartsDone{}});
    builder.Follow(phone::PhoneRunEvent{RunFinished{Verdict::Passed, ""}});
}

void BM_StoreSizePerRecord(benchmark::State& state) {
    QTemporaryDir dir;
    const std::string path = dir.filePath("runs.sqlite").toStdString();
    int records = 0;
    for (auto _ : state) {
        const auto writer = RunWriter::Start({.storePath = path});
        const auto recorder = writer->Begin({.slot = "1-2", .kind = "total"});
        for (const char* file : {"/img/all.lst", "/img/EBOOT.bin", "/img/NK.bin", "/img/APPS.bin"})
            recorder->Input(
                {.role = "image", .path = file, .size = 1, .sha256 = std::string(64, 'a')});
        RecordBuilder builder(*recorder);
        FeedTotalRun(builder);
        benchmark::DoNotOptimize(builder.Finish().get());
        ++records;
    }
    // What is on the disk once the writers are gone (the WAL folded in).
    state.counters["bytes_per_record"] =
        static_cast<double>(QFileInfo(QString::fromStdString(path)).size()) / records;
    const auto store = RunStore::Open({.path = path, .access = StoreAccess::Query});
    const auto runs = FindRuns((*store)->Session(), {});
    state.counters["event_lines_per_record"] =
        static_cast<double>(LoadEvents((*store)->Session(), runs->back().facts.runId)->size());
}

} // namespace

BENCHMARK(BM_YieldOf100000Records)
    ->Arg(static_cast<int>(YieldBy::Slot))
    ->Arg(static_cast<int>(YieldBy::Digest))
    ->Arg(static_cast<int>(YieldBy::Hour))
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_StoreSizePerRecord)->Iterations(50)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
