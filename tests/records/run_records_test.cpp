// What a record says: the steps and verdict the builder makes of a run's
// events, and the yield the queries make of many records.

#include "records/record_builder.h"
#include "records/run_queries.h"
#include "records/run_writer.h"
#include "records/store.h"
#include "records/store_settings.h"
#include "support/qt_events.h"
#include "support/temp_dir.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QSettings>
#include <gtest/gtest.h>

#include <atomic>

namespace marlow::records {
namespace {

using phone::PhoneFileRole;

class RunRecordsTest : public ::testing::Test {
protected:
    void SetUp() override { test::EnsureCoreApplication(); }

    std::shared_ptr<RunWriter> Writer() {
        // Every reading of the clock moves it on 10 ms.
        return RunWriter::Start({.storePath = path, .clock = [this] { return clock += 10; }});
    }

    Result<std::unique_ptr<RunStore>> Store() {
        return RunStore::Open({.path = path, .access = StoreAccess::Query});
    }

    test::TempDir dir;
    std::string path = dir.File("runs.sqlite");
    std::atomic<std::int64_t> clock{1'700'000'000'000};
};

// "kind name outcome bytes retries"
std::string Describe(const StepFacts& step) {
    return step.kind + " " + step.name + " " + step.outcome + " " +
           (step.bytes ? std::to_string(*step.bytes) : "-") + " " + std::to_string(step.retries);
}

TEST_F(RunRecordsTest, EventsBecomeStepsAndAVerdict) {
    using Feed = std::function<void(RecordBuilder&)>;
    const auto image = [](RecordBuilder& b, const char* name, std::uint32_t length, int percent) {
        b.Follow(pda::PdaEvent{pda::ImageStarted{.imageNumber = 1, .image = name}});
        b.Follow(pda::PdaEvent{pda::HeaderRead{.imageLength = length}});
        b.Follow(pda::PdaEvent{pda::DeviceAnswered{}});
        b.Follow(pda::PdaEvent{
            pda::PercentReached{.imageNumber = 1, .image = name, .percent = percent}});
    };
    const auto ended = [](Verdict verdict) { return RunFinished{verdict, "why"}; };
    struct Case {
        const char* name;
        Feed feed;
        std::optional<RunEnding> given;
        std::vector<std::string> steps;
        std::string ending; // "verdict/error class/half"
    };
    const std::vector<Case> cases = {
        {"a Total run",
         [&](RecordBuilder& b) {
             image(b, "EBOOT", 1000, 50);
             image(b, "NK", 2000, 100);
             for (const pda::PdaEvent& e :
                  {pda::PdaEvent{pda::PhoneDownNext{}}, pda::PdaEvent{pda::PhoneDownSent{}},
                   pda::PdaEvent{RunFinished{Verdict::Passed, ""}}})
                 b.Follow(e);
             for (const phone::PhoneRunEvent& e :
                  {phone::PhoneRunEvent{phone::PortWaitStarted{true}},
                   phone::PhoneRunEvent{phone::PortFound{3}},
                   phone::PhoneRunEvent{phone::BootStarted{}},
                   phone::PhoneRunEvent{phone::BootStalled{}},
                   phone::PhoneRunEvent{phone::ReBootStarted{}},
                   phone::PhoneRunEvent{phone::BootStarted{}},
                   phone::PhoneRunEvent{phone::PartStarted{PhoneFileRole::PsiLoader, "psi.flb"}},
                   phone::PhoneRunEvent{phone::PartStarted{PhoneFileRole::Firmware, "a.fls"}},
                   phone::PhoneRunEvent{phone::PartsDone{}},
                   phone::PhoneRunEvent{RunFinished{Verdict::Passed, ""}}})
                 b.Follow(e);
         },
         std::nullopt,
         {"pda-image EBOOT passed 1000 0", "pda-image NK passed 2000 0",
          "hand-over PHONE_DOWN_CMD passed - 0", "port-wait modem port passed - 0",
          "phone-boot boot passed - 1", "phone-part psi.flb passed - 0",
          "phone-part a.fls passed - 0"},
         "passed//"},
        {"a NAK",
         [&](RecordBuilder& b) {
             image(b, "NK", 2000, 40);
             b.Follow(pda::PdaEvent{pda::ReplyAwaited{.result = pda::ReplyResult::Nak}});
             b.Follow(pda::PdaEvent{pda::ReplyAwaited{.result = pda::ReplyResult::NotRead}});
             b.Follow(pda::PdaEvent{ended(Verdict::Failed)});
         },
         std::nullopt,
         {"pda-image NK failed 800 0"},
         "failed/device/pda"},
        {"a reply not read",
         [&](RecordBuilder& b) {
             image(b, "NK", 2000, 100);
             b.Follow(pda::PdaEvent{pda::ReplyReadFailed{}});
             b.Follow(pda::PdaEvent{pda::ReplyAwaited{.result = pda::ReplyResult::NotRead}});
             b.Follow(pda::PdaEvent{ended(Verdict::Failed)});
         },
         std::nullopt,
         {"pda-image NK failed 2000 0"},
         "failed/link/pda"},
        {"no modem port",
         [&](RecordBuilder& b) {
             b.Follow(phone::PhoneRunEvent{phone::PortWaitStarted{}});
             b.Follow(phone::PhoneRunEvent{phone::PortWaitGaveUp{}});
             b.Follow(phone::PhoneRunEvent{ended(Verdict::Failed)});
         },
         std::nullopt,
         {"port-wait modem port failed - 0"},
         "failed/time-out/phone"},
        {"a stop",
         [&](RecordBuilder& b) {
             image(b, "NK", 100, 10);
             b.Follow(pda::PdaEvent{ended(Verdict::Stopped)});
         },
         std::nullopt,
         {"pda-image NK stopped 10 0"},
         "stopped/operator-stop/pda"},
        {"a removal",
         [&](RecordBuilder& b) {
             b.Follow(phone::PhoneRunEvent{phone::PartStarted{PhoneFileRole::Eeprom, "a.eep"}});
             b.Follow(phone::PhoneRunEvent{ended(Verdict::DeviceRemoved)});
         },
         std::nullopt,
         {"phone-part a.eep failed - 0"},
         "device-removed/removal/phone"},
        {"a UART run",
         [&](RecordBuilder& b) {
             b.Follow(uartloader::LoaderEvent{uartloader::CurrentFileChanged{"boot.bin"}});
             for (int percent = 0; percent <= 100; ++percent)
                 b.Follow(uartloader::LoaderEvent{uartloader::ProgressChanged{1, percent}});
             b.Follow(uartloader::LoaderEvent{uartloader::CurrentFileChanged{""}});
             b.Follow(uartloader::LoaderEvent{ended(Verdict::Passed)});
         },
         std::nullopt,
         {"uart-file boot.bin passed - 0"},
         "passed//"},
        {"no end told",
         [&](RecordBuilder& b) { image(b, "NK", 100, 10); },
         std::nullopt,
         {"pda-image NK failed 10 0"},
         "failed/internal/"},
    };
    const auto writer = Writer();
    std::vector<std::string> ids;
    for (const Case& c : cases) {
        const auto recorder = writer->Begin({.stationId = "s"});
        RecordBuilder builder(*recorder);
        c.feed(builder);
        ASSERT_TRUE(builder.Finish(c.given).get());
        ids.push_back(recorder->RunId());
    }
    const auto store = Store();
    for (std::size_t i = 0; i < cases.size(); ++i) {
        SCOPED_TRACE(cases[i].name);
        const Result<RunRecord> run = LoadRun((*store)->Session(), ids[i]);
        ASSERT_TRUE(run) << run.Error();
        std::vector<std::string> steps;
        for (const StepFacts& step : run->steps)
            steps.push_back(Describe(step));
        EXPECT_EQ(steps, cases[i].steps);
        EXPECT_EQ(std::string(NameOf(run->ending.verdict)) + "/" + NameOf(run->ending.errorClass) +
                      "/" + NameOf(run->ending.half),
                  cases[i].ending);
        const Result<std::vector<std::string>> lines = LoadEvents((*store)->Session(), ids[i]);
        ASSERT_TRUE(lines);
        for (const std::string& line : lines.Value()) {
            const QJsonObject event =
                QJsonDocument::fromJson(QByteArray::fromStdString(line)).object();
            EXPECT_FALSE(event.value("event").toString().isEmpty()) << line;
            EXPECT_GT(event.value("at").toInteger(), 0) << line;
            EXPECT_NE(event.value("event"), "device-answered");
        }
    }
    // The UART bar's hundred steps are kept as its whole tens.
    EXPECT_EQ(LoadEvents((*store)->Session(), ids[6])->size(), 14u);
}

TEST_F(RunRecordsTest, YieldCountsFirstPassesAndRetests) {
    struct Run {
        const char* slot;
        const char* serial;
        const char* digest;
        int hour; // of 2023-11-14 UTC
        RecordVerdict verdict;
        const char* station = "s";
    };
    using enum RecordVerdict;
    const std::vector<Run> runs = {
        {"A", "S1", "d1", 8, Failed},      {"A", "S1", "d1", 8, Passed}, // a retest
        {"A", "S2", "d1", 9, Passed},                                    // first pass
        {"A", "S3", "d2", 9, Interrupted},                               // never passed
        {"B", "", "d2", 9, Failed},                                      // and on its port:
        {"B", "", "d2", 9, Passed, "t"}, // another station's handset,
        {"B", "", "d2", 9, Passed},      // a retest by port
        {"B", "", "d2", 10, Passed},     // the next handset
        {"B", "", "d2", 10, Running},    // still on
    };
    std::vector<std::unique_ptr<RunRecorder>> open;
    {
        const auto writer = Writer();
        for (std::size_t i = 0; i < runs.size(); ++i) {
            const Run& r = runs[i];
            auto run = writer->Begin({.stationId = r.station,
                                      .slot = r.slot,
                                      .handset = {.usbPath = "1-1", .serialNumber = r.serial},
                                      .startedMs = 1'699'920'000'000 + r.hour * 3'600'000LL +
                                                   static_cast<std::int64_t>(i)});
            run->Input({.path = "f", .sha256 = r.digest});
            if (r.verdict == Running)
                open.push_back(std::move(run));
            else
                ASSERT_TRUE(run->Finish({.verdict = r.verdict}).get());
        }
        ASSERT_TRUE(writer->Settle(std::chrono::seconds(60)));
    }
    const auto store = Store();
    const auto table = [&](YieldBy by) {
        std::vector<std::string> rows;
        const Result<std::vector<YieldRow>> found =
            Yield((*store)->Session(), {}, by, QTimeZone::utc());
        if (!found)
            return std::vector<std::string>{found.Error()};
        for (const YieldRow& row : found.Value())
            rows.push_back((row.station.empty() ? "" : row.station + " ") + row.group + ": " +
                           std::to_string(row.units) + " " + std::to_string(row.firstPass) + " " +
                           std::to_string(row.retested) + " " + std::to_string(row.runs));
        return rows;
    };
    EXPECT_EQ(table(YieldBy::Slot),
              (std::vector<std::string>{"s A: 3 1 1 4", "s B: 2 1 1 3", "t B: 1 1 0 1"}));
    EXPECT_EQ(table(YieldBy::Digest), (std::vector<std::string>{"d1: 2 1 1 3", "d2: 4 2 1 5"}));
    EXPECT_EQ(table(YieldBy::Hour),
              (std::vector<std::string>{"2023-11-14 08:00: 1 0 1 2", "2023-11-14 09:00: 4 2 1 5",
                                        "2023-11-14 10:00: 1 1 0 1"}));
    EXPECT_EQ(table(YieldBy::Day), (std::vector<std::string>{"2023-11-14: 6 3 2 8"}));
    // Filters narrow what is counted.
    const Result<std::vector<YieldRow>> passedOnB =
        Yield((*store)->Session(), {.verdict = Passed, .slot = "B"}, YieldBy::Slot);
    EXPECT_EQ(passedOnB->front().units, 2);
    EXPECT_EQ(passedOnB->front().firstPass, 2);
}

TEST_F(RunRecordsTest, RecordingSettingsRefuseWhatTheyDoNotKnow) {
    QSettings settings(QString::fromStdString(dir.File("Marlow.conf")), QSettings::IniFormat);
    const Result<RecordingSettings> defaults = ReadRecordingSettings(settings);
    EXPECT_EQ(defaults->recording, Recording::On);
    EXPECT_EQ(defaults->storePath, DefaultStorePath());
    EXPECT_EQ(defaults->stationId, DefaultStationId());
    for (const auto& [text, recording] :
         {std::pair{"off", Recording::Off}, {"Required", Recording::Required}}) {
        settings.setValue("RunRecords", text);
        EXPECT_EQ(ReadRecordingSettings(settings)->recording, recording) << text;
    }
    settings.setValue("RunRecords", "requried");
    EXPECT_EQ(ReadRecordingSettings(settings).Error(),
              "the setting RunRecords is \"requried\"; it takes on, off or required");
}

} // namespace
} // namespace marlow::records
