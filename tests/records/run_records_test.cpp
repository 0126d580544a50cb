// What a record says: the steps and verdict its receiver makes of a run's
// events, the files it names, and the yield the queries make of many
// records.

#include "common/sha256.h"
#include "records/handset_recording.h"
#include "records/recording_receiver.h"
#include "records/run_inputs.h"
#include "records/run_queries.h"
#include "records/run_writer.h"
#include "records/store.h"
#include "records/store_settings.h"
#include "support/hang_bound.h"
#include "support/qt_events.h"
#include "support/temp_dir.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QSettings>
#include <gtest/gtest.h>

#include <atomic>
#include <fstream>

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
    using Feed = std::function<void(RecordingReceiver&)>;
    const auto image = [](RecordingReceiver& b, const char* name, std::uint32_t length,
                          int percent) {
        b.Post(pda::PdaEvent{pda::ImageStarted{.imageNumber = 1, .image = name}});
        b.Post(pda::PdaEvent{pda::HeaderRead{.imageLength = length}});
        b.Post(pda::PdaEvent{pda::DeviceAnswered{}});
        b.Post(pda::PdaEvent{
            pda::PercentReached{.imageNumber = 1, .image = name, .percent = percent}});
    };
    const auto ended = [](Verdict verdict) { return RunFinished{verdict, "why"}; };
    struct Case {
        const char* name;
        Feed feed;
        std::optional<RunEnding> given;
        std::vector<std::string> steps;
        std::string ending; // "verdict/error class/half/reason"
    };
    const std::vector<Case> cases = {
        {"a Total run",
         [&](RecordingReceiver& b) {
             image(b, "EBOOT", 1000, 50);
             image(b, "NK", 2000, 100);
             for (const pda::PdaEvent& e :
                  {pda::PdaEvent{pda::PhoneDownNext{}}, pda::PdaEvent{pda::PhoneDownSent{}},
                   pda::PdaEvent{RunFinished{Verdict::Passed, ""}}})
                 b.Post(e);
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
                 b.Post(e);
             b.RunEnded(RunFinished{Verdict::Passed, ""});
         },
         std::nullopt,
         {"pda-image EBOOT passed 1000 0", "pda-image NK passed 2000 0",
          "hand-over PHONE_DOWN_CMD passed - 0", "port-wait modem port passed - 0",
          "phone-boot boot passed - 1", "phone-part psi.flb passed - 0",
          "phone-part a.fls passed - 0"},
         "passed///"},
        {"a Total run whose modem port never came",
         [&](RecordingReceiver& b) {
             image(b, "NK", 100, 100);
             b.Post(pda::PdaEvent{pda::PhoneDownNext{}});
             b.Post(pda::PdaEvent{RunFinished{Verdict::Passed, ""}});
             b.Post(phone::PhoneRunEvent{phone::PortWaitStarted{true}});
             b.Post(phone::PhoneRunEvent{phone::PortWaitGaveUp{}});
             b.Post(phone::PhoneRunEvent{ended(Verdict::Failed)});
             b.RunEnded(RunFinished{Verdict::Failed, "the whole run's why"});
         },
         std::nullopt,
         {"pda-image NK passed 100 0", "hand-over PHONE_DOWN_CMD passed - 0",
          "port-wait modem port failed - 0"},
         "failed/time-out/phone/the whole run's why"},
        {"a NAK",
         [&](RecordingReceiver& b) {
             image(b, "NK", 2000, 40);
             b.Post(pda::PdaEvent{pda::ReplyAwaited{.result = pda::ReplyResult::Nak}});
             b.Post(pda::PdaEvent{pda::ReplyAwaited{.result = pda::ReplyResult::NotRead}});
             b.Post(pda::PdaEvent{ended(Verdict::Failed)});
         },
         std::nullopt,
         {"pda-image NK failed 800 0"},
         "failed/device/pda/why"},
        {"a reply not read",
         [&](RecordingReceiver& b) {
             image(b, "NK", 2000, 100);
             b.Post(pda::PdaEvent{pda::ReplyReadFailed{}});
             b.Post(pda::PdaEvent{pda::ReplyAwaited{.result = pda::ReplyResult::NotRead}});
             b.Post(pda::PdaEvent{ended(Verdict::Failed)});
         },
         std::nullopt,
         {"pda-image NK failed 2000 0"},
         "failed/link/pda/why"},
        {"no modem port",
         [&](RecordingReceiver& b) {
             b.Post(phone::PhoneRunEvent{phone::PortWaitStarted{}});
             b.Post(phone::PhoneRunEvent{phone::PortWaitGaveUp{}});
             b.Post(phone::PhoneRunEvent{ended(Verdict::Failed)});
         },
         std::nullopt,
         {"port-wait modem port failed - 0"},
         "failed/time-out/phone/why"},
        {"a UART run",
         [&](RecordingReceiver& b) {
             b.Post(uartloader::LoaderEvent{uartloader::CurrentFileChanged{"boot.bin"}});
             for (int percent = 0; percent <= 100; ++percent)
                 b.Post(uartloader::LoaderEvent{uartloader::ProgressChanged{1, percent}});
             b.Post(uartloader::LoaderEvent{uartloader::CurrentFileChanged{""}});
             b.Post(uartloader::LoaderEvent{ended(Verdict::Passed)});
         },
         std::nullopt,
         {"uart-file boot.bin passed - 0"},
         "passed///why"},
        {"no end told",
         [&](RecordingReceiver& b) { image(b, "NK", 100, 10); },
         std::nullopt,
         {"pda-image NK failed 10 0"},
         "failed/internal//the run ended without telling its end"},
    };
    const auto writer = Writer();
    std::vector<std::string> ids;
    for (const Case& c : cases) {
        RecordingReceiver receiver(writer->Begin({.stationId = "s"}));
        c.feed(receiver);
        ASSERT_TRUE(receiver.Finish(c.given).get());
        ids.push_back(receiver.RunId());
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
                      "/" + NameOf(run->ending.half) + "/" + run->ending.reason,
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
    EXPECT_EQ(LoadEvents((*store)->Session(), ids[5])->size(), 14u);
}

// A window's handset run: its slot and modem port as it learns them, and
// whether the PDA half's end is the run's.
TEST_F(RunRecordsTest, AWindowsHandsetRunTakesItsPortsAndEndsWithItsLastHalf) {
    const struct {
        std::string halves; // "pda", "phone", "total"; "total+" hands over
        std::string slot;
        phone::ModemPort modem;
        std::string record; // "slot|usb path|modem port|verdict" after the PDA half
    } rows[] = {
        {"phone", "", {"/dev/ttyACM0", "1-2.3", 0}, "1-2.3|1-2.3|/dev/ttyACM0|running"},
        {"phone", "", {"/dev/ttyS4", "", 4}, "/dev/ttyS4||/dev/ttyS4|running"},
        {"total+", "1-4", {"/dev/ttyACM1", "1-4", 1}, "1-4|1-4|/dev/ttyACM1|running"},
        {"total", "1-4", {}, "1-4|1-4||passed"},
        {"pda", "inproc:1", {}, "inproc:1|inproc:1||passed"},
    };
    const auto writer = Writer();
    for (const auto& row : rows) {
        SCOPED_TRACE(row.halves + " " + row.modem.path);
        HandsetRecording run;
        run.Begin(writer->Begin({}), row.halves != "phone", row.halves != "pda", {});
        run.Slot(row.slot);
        if (row.halves == "total+")
            run.Post(pda::PdaEvent{pda::PhoneDownNext{}});
        if (row.halves != "phone")
            run.Post(pda::PdaEvent{RunFinished{Verdict::Passed, ""}});
        if (!row.modem.path.empty())
            run.ModemPort(row.modem);
        ASSERT_TRUE(writer->Settle(test::kStuckAfter));
        const auto runs = FindRuns((*Store())->Session(), {});
        ASSERT_TRUE(runs && !runs->empty());
        const RunFacts& last = runs->back().facts;
        EXPECT_EQ(last.slot + "|" + last.handset.usbPath + "|" + last.handset.modemPort + "|" +
                      NameOf(runs->back().ending.verdict),
                  row.record);
    }
}

// A run's files with their sizes, digests of their bytes and stamps; one
// that cannot be read is named all the same.
TEST_F(RunRecordsTest, InputsCarryTheirSizeDigestAndStamp) {
    std::map<std::string, std::string> digests;
    const auto write = [&](const std::string& name, const std::string& bytes) {
        const std::string file = dir.File(name);
        std::ofstream(file, std::ios::binary) << bytes;
        digests[file] =
            Sha256Hex({reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()});
        return file;
    };
    const std::string list = write("all.lst", "eboot.bin\nnk.bin\n");
    const std::string eboot = write("eboot.bin", std::string(300, '\xee'));
    const std::string nk = write("nk.bin", std::string(480, '\xaa') + "Q1" + std::string(13, '\0') +
                                               "V2" + std::string(3, '\0'));
    const std::string fls = write("a.fls", "firmware");
    const std::string gone = dir.File("gone.eep");
    // "role name size digest-matches model version source-name"
    const auto describe = [&](const std::vector<InputFacts>& inputs) {
        std::vector<std::string> lines;
        const auto name = [](const std::string& path) { return path.substr(path.rfind('/') + 1); };
        for (const InputFacts& in : inputs)
            lines.push_back(in.role + " " + name(in.path) + " " +
                            (in.size ? std::to_string(*in.size) : "-") + " " +
                            (in.sha256 == digests[in.path] ? "ok" : "?" + in.sha256) + " " +
                            in.model + " " + in.version + " " + name(in.source));
        return lines;
    };
    const pda::DownloadPlan plan{
        .images = {{"eboot.bin", eboot, 300}, {"nk.bin", nk, 500}},
        .hasPhoneGroup = true,
        .phoneGroup = {{.name = "a.fls", .path = fls, .role = PhoneFileRole::Firmware},
                       {.name = "gone.eep", .path = gone, .role = PhoneFileRole::Eeprom}}};
    digests[gone] = "";
    EXPECT_EQ(describe(InputsOfPlan(list, plan)),
              (std::vector<std::string>{"list all.lst 17 ok   ", "image eboot.bin 300 ok   all.lst",
                                        "image nk.bin 500 ok Q1 V2 all.lst",
                                        "firmware a.fls 8 ok   all.lst",
                                        "eeprom gone.eep - ok   all.lst"}));
    EXPECT_EQ(describe(InputsOfPlan(nk, {.images = {{nk, nk, 500}}})),
              (std::vector<std::string>{"image nk.bin 500 ok Q1 V2 "}));
    phone::PhoneFileSet files;
    files.Assign(PhoneFileRole::Firmware, "a.fls", fls);
    EXPECT_EQ(describe(InputsOfPhoneFiles(files)),
              (std::vector<std::string>{"firmware a.fls 8 ok   "}));
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
    // Only records made mandatory keep a run from starting on a store that
    // cannot take them (its folder is a file).
    std::ofstream(dir.File("a-file")) << "x";
    const std::string blocked = dir.File("a-file") + "/runs.sqlite";
    const auto writer = RunWriter::Start({.storePath = blocked});
    for (const auto& [recording, refused] :
         {std::pair{Recording::On, false}, {Recording::Off, false}, {Recording::Required, true}}) {
        const RecordingSettings asked{.recording = recording, .storePath = blocked};
        const Status may = MayStartRun(asked, writer.get(), std::chrono::seconds(60));
        EXPECT_EQ(may.Error().rfind("No run starts: the setting RunRecords is required, and the "
                                    "run store " +
                                        blocked,
                                    0) == 0,
                  refused)
            << may.Error();
    }
    EXPECT_FALSE(MayStartRun({.recording = Recording::Required}, nullptr, std::chrono::seconds(1)));
}

} // namespace
} // namespace marlow::records
