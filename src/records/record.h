#pragma once
// One run's record as the store keeps it: a unit row (who, where, which
// handset, how it ended), the files it used, its steps and the evidence (its
// event stream). Times are UTC milliseconds since 1970; texts are UTF-8 (a
// path's bytes that are not UTF-8 are kept as Latin-1 would read them).

#include "common/run_verdict.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace marlow::records {

// How a record ends: an engine's verdict, `Running` while the run lives, or
// `Interrupted` when its program died (killed, crashed, the power cut)
// before it could finish the record.
enum class RecordVerdict { Running, Passed, Failed, Stopped, DeviceRemoved, Interrupted };

// What failed a run, for grouping failures: a bad file, the handset, the
// wire, a wait that ran out, the operator, the handset pulled out, or Marlow
// itself.
enum class ErrorClass { None, Input, Device, Link, TimeOut, OperatorStop, Removal, Internal };

// Which half of a run failed it.
enum class Half { None, Pda, Phone, Uart, Stamp };

// Stable names, as the store and `--json` carry them: "running", "passed",
// "failed", "stopped", "device-removed", "interrupted"; "", "input",
// "device", "link", "time-out", "operator-stop", "removal", "internal";
// "", "pda", "phone", "uart", "stamp".
const char* NameOf(RecordVerdict verdict);
const char* NameOf(ErrorClass errorClass);
const char* NameOf(Half half);
std::optional<RecordVerdict> VerdictNamed(std::string_view name);
// What a stored name reads as; an unknown class reads as Internal, an
// unknown half as None.
ErrorClass ErrorClassNamed(std::string_view name);
Half HalfNamed(std::string_view name);
RecordVerdict RecordVerdictOf(Verdict verdict);

// The handset as the run saw it; the modem's port is known only after the
// hand-over.
struct HandsetFacts {
    std::string usbPath{};      // "1-2.3", a virtual bus device's path
    std::string serialNumber{}; // where the device has one
    std::string modemPort{};
    bool operator==(const HandsetFacts&) const = default;
};

// What is known when a run begins.
struct RunFacts {
    std::string runId{}; // a UUID; the recorder makes one when empty
    std::string stationId{};
    std::string slot{};     // the port the handset sits on; empty where unknown
    std::string frontEnd{}; // "main window", "front panel", "cli pda", ...
    std::string operatorName{};
    std::string marlowVersion{};
    std::string kind{}; // what the run does: "pda", "phone", "total", "uart", "stamp"
    HandsetFacts handset{};
    std::int64_t startedMs = 0;
    bool operator==(const RunFacts&) const = default;
};

// A file the run used.
struct InputFacts {
    std::string role{}; // "image", "list", "package", "psi", "fls", ...
    std::string path{};
    std::optional<std::int64_t> size{};
    std::string sha256{}; // hex; empty when the file could not be read
    std::string model{};  // from its model/version trailer, where it has one
    std::string version{};
    std::string source{}; // the list or package that named it; empty for a file given directly
    bool operator==(const InputFacts&) const = default;
};

// One phase of the run: a PDA image, the hand-over, the modem port wait, a
// phone part, a UART transfer, a stamp.
struct StepFacts {
    std::string kind{}; // "pda-image", "hand-over", "port-wait", "phone-boot", "phone-part",
                        // "uart-file", "stamp"
    std::string name{};
    std::int64_t startedMs = 0;
    std::optional<std::int64_t> endedMs{}; // none while it runs
    std::optional<std::int64_t> bytes{};   // none where the run does not tell
    int retries = 0;
    std::string outcome{}; // "running", "passed", "failed", "stopped"
    bool operator==(const StepFacts&) const = default;
};

// Stamp INSERT on a file.
struct StampFacts {
    std::string file{};
    std::string digestBefore{}; // hex
    std::string digestAfter{};
    std::string model{};
    std::string version{};
    bool operator==(const StampFacts&) const = default;
};

struct RunEnding {
    RecordVerdict verdict = RecordVerdict::Running;
    std::string reason{}; // empty when passed
    ErrorClass errorClass = ErrorClass::None;
    Half half = Half::None;
    std::optional<std::int64_t> endedMs{};
    bool operator==(const RunEnding&) const = default;
};

// Who wrote a record: enough to tell, later and from another process,
// whether that writer still lives.
struct WriterIdentity {
    std::string host{};
    std::int64_t pid = 0;
    std::string start{}; // boot id and the process's start time
    bool operator==(const WriterIdentity&) const = default;
};

// A whole record as read back.
struct RunRecord {
    RunFacts facts{};
    RunEnding ending{};
    WriterIdentity writer{};
    std::vector<InputFacts> inputs{};
    std::vector<StepFacts> steps{};
    std::optional<StampFacts> stamp{};
};

} // namespace marlow::records
