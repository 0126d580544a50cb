// A recording program for the store's tests, which need processes of their
// own: one to kill in the middle of a record, several recording at once, one
// whose files may not grow or whose disk is read-only.
//
//   record_child STORE hold              begin a record, say "begun ID", wait
//   record_child STORE runs N            record N whole runs, say "recorded N"
//   record_child STORE fsize BYTES       record one run that cannot fit
//   record_child STORE read-only         record one run on a read-only mount
//   record_child STORE shift UNITS       a station's shift of UNITS handsets
// The last two say "status: " and the finish's failure (or "ok").

#include "records/run_writer.h"

#include <QCoreApplication>
#include <QFileInfo>

#include <atomic>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <sched.h>
#include <string>
#include <sys/mount.h>
#include <sys/resource.h>
#include <unistd.h>

using namespace marlow::records;

namespace {

// Longer than a finish found locked is tried again.
constexpr std::chrono::seconds kBound{120};

std::shared_ptr<RunRecorder> BeginRun(RunWriter& writer) {
    std::shared_ptr<RunRecorder> run =
        writer.Begin({.stationId = "bench-1", .slot = "1-2", .frontEnd = "test", .kind = "pda"});
    run->Input({.role = "image", .path = "/images/NK.bin", .size = 4096, .sha256 = "ab12"});
    run->StepEnded(run->StepStarted("pda-image", "NK.bin"), "passed", 4096);
    return run;
}

std::string Finish(RunRecorder& run) {
    const auto finished = run.Finish({.verdict = RecordVerdict::Passed});
    if (finished.wait_for(kBound) != std::future_status::ready)
        return "no answer";
    const marlow::Status status = finished.get();
    return status ? "ok" : status.Error();
}

// Puts the store's folder on a read-only mount that only this process sees.
bool MountReadOnly(const std::string& store) {
    const std::string folder =
        QFileInfo(QString::fromStdString(store)).absolutePath().toStdString();
    return ::unshare(CLONE_NEWNS) == 0 &&
           ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0 &&
           ::mount(folder.c_str(), folder.c_str(), nullptr, MS_BIND, nullptr) == 0 &&
           ::mount(nullptr, folder.c_str(), nullptr, MS_BIND | MS_REMOUNT | MS_RDONLY, nullptr) ==
               0;
}

// A station's shift, for the run report: UNITS handsets through eight
// slots, one every 110 s from 2024-05-06 06:00 UTC, each a Total run whose
// step times are known. Slot 6 has a slow cable (its transfers take half as
// long again); slot 3 a worn contact (the boot of its handsets 1, 5, 9, ...
// fails); slot 5 loses its handset 3 mid-download; every 23rd handset from
// the 11th fails a phone part; handset 13 finds its modem port busy; every
// 29th from the 5th meets a slow hub. A handset that failed is retested at
// once, and passes; one removed is not.
int RecordShift(const std::string& store, long units) {
    struct Step {
        const char* kind;
        const char* name;
        std::int64_t ms;
        bool transfer;
    };
    static constexpr Step kSteps[] = {
        {"pda-image", "eboot.bin", 1800, true}, {"pda-image", "nk.bin", 38000, true},
        {"hand-over", "", 1500, false},         {"port-wait", "", 2600, false},
        {"phone-boot", "", 2200, false},        {"phone-part", "PSI", 900, true},
        {"phone-part", "SLB", 1900, true},      {"phone-part", "FLS", 52000, true},
        {"phone-part", "EEP", 1100, true}};
    struct Fault {
        const char* step; // the one that fails; nullptr for none
        RunEnding ending;
        bool retested;
    };
    std::atomic<std::int64_t> now{0};
    const std::shared_ptr<RunWriter> writer =
        RunWriter::Start({.storePath = store, .clock = [&now] { return now.load(); }});
    const auto record = [&](long unit, std::int64_t start, const Fault& fault) {
        const int slot = static_cast<int>(unit % 8) + 1;
        now = start;
        const std::shared_ptr<RunRecorder> run =
            writer->Begin({.stationId = "line-4",
                           .slot = "slot " + std::to_string(slot),
                           .frontEnd = "station",
                           .kind = "total",
                           .handset = {.usbPath = "1-1." + std::to_string(slot),
                                       .serialNumber = "SN" + std::to_string(10000 + unit)},
                           .startedMs = start});
        run->Input({.role = "list", .path = "/images/quill_all.lst", .size = 220, .sha256 = "5a"});
        for (std::size_t i = 0; i < std::size(kSteps); ++i) {
            const Step& step = kSteps[i];
            std::int64_t ms =
                step.ms + step.ms * static_cast<std::int64_t>((unit * 7 + i * 3) % 11) / 100;
            if (step.transfer && slot == 6)
                ms = ms * 3 / 2;
            if (unit % 29 == 5 && std::string(step.name) == "nk.bin")
                ms = ms * 9 / 5;
            const int number = run->StepStarted(step.kind, step.name);
            const bool fails = fault.step != nullptr &&
                               std::string(fault.step) == step.kind + std::string(step.name);
            now += fails ? ms / 3 : ms;
            run->StepEnded(number, fails ? "failed" : "passed");
            if (fails)
                break;
        }
        RunEnding ending =
            fault.step != nullptr ? fault.ending : RunEnding{.verdict = RecordVerdict::Passed};
        ending.endedMs = now.load();
        run->Finish(ending);
        return now.load();
    };
    const Fault none{nullptr, {}, false};
    for (long unit = 0; unit < units; ++unit) {
        const int slot = static_cast<int>(unit % 8) + 1;
        const long turn = unit / 8; // the slot's how manyth handset
        const std::int64_t start = 1'714'975'200'000 + unit * 110'000;
        const Fault fault =
            unit == 13 ? Fault{"port-wait",
                               {RecordVerdict::Failed,
                                "the modem port /dev/ttyACM7 did not open: \"Device or resource "
                                "busy\" <EBUSY> & no retry",
                                ErrorClass::Device, Half::Phone},
                               true}
            : slot == 3 && turn % 4 == 1
                ? Fault{"phone-boot",
                        {RecordVerdict::Failed, "Phone Download Failed: no answer at boot",
                         ErrorClass::Device, Half::Phone},
                        true}
            : slot == 5 && turn % 8 == 3 ? Fault{"pda-imagenk.bin",
                                                 {RecordVerdict::DeviceRemoved,
                                                  "Download Aborted! Reconnect the Device to Retry",
                                                  ErrorClass::Removal, Half::Pda},
                                                 false}
            : unit % 23 == 11            ? Fault{"phone-partFLS",
                                      {RecordVerdict::Failed, "FLS download failed: CRC error",
                                                  ErrorClass::Link, Half::Phone},
                                      true}
                                         : none;
        const std::int64_t ended = record(unit, start, fault);
        if (fault.retested)
            record(unit, ended + 30'000, none);
    }
    if (!writer->Settle(kBound))
        return 1;
    std::printf("recorded %ld handsets\n", units);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc < 3)
        return 2;
    const std::string store = argv[1];
    const std::string mode = argv[2];
    const long number = argc > 3 ? std::strtol(argv[3], nullptr, 10) : 0;
    if (mode == "read-only" && !MountReadOnly(store)) {
        std::perror("mount");
        return 2;
    }
    if (mode == "fsize") {
        std::signal(SIGXFSZ, SIG_IGN); // a write past the limit fails, not the process
        const rlimit limit{static_cast<rlim_t>(number), static_cast<rlim_t>(number)};
        ::setrlimit(RLIMIT_FSIZE, &limit);
    }
    if (mode == "shift")
        return RecordShift(store, number);
    const std::shared_ptr<RunWriter> writer = RunWriter::Start({.storePath = store});
    if (mode == "hold") {
        const std::shared_ptr<RunRecorder> run = BeginRun(*writer);
        for (int line = 0; line < 2000; ++line) // a chunk of evidence written
            run->Event("{\"event\":\"percent-reached\",\"percent\":" + std::to_string(line) + "}");
        writer->Settle(kBound);
        std::printf("begun %s\n", run->RunId().c_str());
        std::fflush(stdout);
        ::pause();
        return 0;
    }
    if (mode == "runs") {
        long recorded = 0;
        for (long i = 0; i < number; ++i) {
            const std::shared_ptr<RunRecorder> run = BeginRun(*writer);
            for (int line = 0; line < 10; ++line)
                run->Event("{\"event\":\"percent-reached\",\"percent\":" + std::to_string(line) +
                           "}");
            const std::string status = Finish(*run);
            if (status == "ok")
                ++recorded;
            else
                std::printf("status: %s\n", status.c_str());
        }
        std::printf("recorded %ld\n", recorded);
        return recorded == number ? 0 : 1;
    }
    // fsize, read-only: one run with an event stream that does not compress.
    const std::shared_ptr<RunRecorder> run = BeginRun(*writer);
    std::mt19937 random(7);
    for (int line = 0; line < 4096; ++line) {
        std::string noise(256, 'a');
        for (char& c : noise)
            c = static_cast<char>('a' + random() % 26);
        run->Event("{\"noise\":\"" + noise + "\"}");
    }
    std::printf("status: %s\n", Finish(*run).c_str());
    return 0;
}
