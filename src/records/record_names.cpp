#include "records/record.h"

#include <array>
#include <utility>

namespace marlow::records {

namespace {

constexpr std::array<std::pair<RecordVerdict, const char*>, 6> kVerdictNames = {{
    {RecordVerdict::Running, "running"},
    {RecordVerdict::Passed, "passed"},
    {RecordVerdict::Failed, "failed"},
    {RecordVerdict::Stopped, "stopped"},
    {RecordVerdict::DeviceRemoved, "device-removed"},
    {RecordVerdict::Interrupted, "interrupted"},
}};

} // namespace

const char* NameOf(RecordVerdict verdict) {
    for (const auto& [value, name] : kVerdictNames)
        if (value == verdict)
            return name;
    return "failed";
}

std::optional<RecordVerdict> VerdictNamed(std::string_view name) {
    for (const auto& [value, known] : kVerdictNames)
        if (name == known)
            return value;
    return std::nullopt;
}

const char* NameOf(ErrorClass errorClass) {
    switch (errorClass) {
    case ErrorClass::None:
        return "";
    case ErrorClass::Input:
        return "input";
    case ErrorClass::Device:
        return "device";
    case ErrorClass::Link:
        return "link";
    case ErrorClass::TimeOut:
        return "time-out";
    case ErrorClass::OperatorStop:
        return "operator-stop";
    case ErrorClass::Removal:
        return "removal";
    case ErrorClass::Internal:
        return "internal";
    }
    return "internal";
}

const char* NameOf(Half half) {
    switch (half) {
    case Half::None:
        return "";
    case Half::Pda:
        return "pda";
    case Half::Phone:
        return "phone";
    case Half::Uart:
        return "uart";
    case Half::Stamp:
        return "stamp";
    }
    return "";
}

RecordVerdict RecordVerdictOf(Verdict verdict) {
    switch (verdict) {
    case Verdict::Passed:
        return RecordVerdict::Passed;
    case Verdict::Failed:
        return RecordVerdict::Failed;
    case Verdict::Stopped:
        return RecordVerdict::Stopped;
    case Verdict::DeviceRemoved:
        return RecordVerdict::DeviceRemoved;
    }
    return RecordVerdict::Failed;
}

} // namespace marlow::records

namespace marlow::records {

ErrorClass ErrorClassNamed(std::string_view name) {
    for (int i = 0; i <= static_cast<int>(ErrorClass::Internal); ++i)
        if (name == NameOf(static_cast<ErrorClass>(i)))
            return static_cast<ErrorClass>(i);
    return ErrorClass::Internal;
}

Half HalfNamed(std::string_view name) {
    for (int i = 0; i <= static_cast<int>(Half::Stamp); ++i)
        if (name == NameOf(static_cast<Half>(i)))
            return static_cast<Half>(i);
    return Half::None;
}

} // namespace marlow::records
