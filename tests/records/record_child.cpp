// A recording program for the store's tests, which need processes of their
// own: one to kill in the middle of a record, several recording at once, one
// whose files may not grow or whose disk is read-only.
//
//   record_child STORE hold              begin a record, say "begun ID", wait
//   record_child STORE runs N            record N whole runs, say "recorded N"
//   record_child STORE fsize BYTES       record one run that cannot fit
//   record_child STORE read-only         record one run on a read-only mount
// The last two say "status: " and the finish's failure (or "ok").

#include "records/run_writer.h"

#include <QCoreApplication>
#include <QFileInfo>

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

constexpr std::chrono::seconds kBound{60};

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
