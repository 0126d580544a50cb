#include "phone/phone_events.h"

#include <utility>

namespace marlow::phone {

namespace {

std::int64_t Number(std::int64_t value) {
    return value;
}

std::string Role(PhoneFileRole role) {
    return PhoneFileRoleKey(role);
}

// One overload per event: its stable name and its fields.
EventRecord Record(const PhoneNotSelected&) {
    return {"phone-not-selected", {}};
}
EventRecord Record(const PackageNote& e) {
    return {"package-note", {{"text", e.text}, {"messageBox", e.messageBox}}};
}
EventRecord Record(const PackageUnreadable&) {
    return {"package-unreadable", {}};
}
EventRecord Record(const PortWaitStarted& e) {
    return {"port-wait-started", {{"afterPdaDownload", e.afterPdaDownload}}};
}
EventRecord Record(const PortWaitPolled&) {
    return {"port-wait-polled", {}};
}
EventRecord Record(const PortWaitGaveUp&) {
    return {"port-wait-gave-up", {}};
}
EventRecord Record(const PortFound& e) {
    return {"port-found", {{"number", Number(e.number)}}};
}
EventRecord Record(const PortWaitEnded&) {
    return {"port-wait-ended", {}};
}
EventRecord Record(const BootStarted&) {
    return {"boot-started", {}};
}
EventRecord Record(const PortOpenFailed& e) {
    return {"port-open-failed", {{"retry", e.retry}}};
}
EventRecord Record(const BootUnderway&) {
    return {"boot-underway", {}};
}
EventRecord Record(const BootRefused&) {
    return {"boot-refused", {}};
}
EventRecord Record(const BootStalled&) {
    return {"boot-stalled", {}};
}
EventRecord Record(const ReBootPending&) {
    return {"re-boot-pending", {}};
}
EventRecord Record(const ReBootStarted&) {
    return {"re-boot-started", {}};
}
EventRecord Record(const LibraryStatus& e) {
    return {"library-status", {{"text", e.text}}};
}
EventRecord Record(const StatusBeforeReport& e) {
    return {"status-before-report", {{"text", e.text}}};
}
EventRecord Record(const LibraryReport& e) {
    return {"library-report",
            {{"code", Number(e.code)}, {"text", e.text}, {"percent", Number(e.percent)}}};
}
EventRecord Record(const PartStarted& e) {
    return {"part-started", {{"role", Role(e.role)}, {"file", e.file}}};
}
EventRecord Record(const PartRefused& e) {
    return {"part-refused", {{"role", Role(e.role)}}};
}
EventRecord Record(const PartFailed& e) {
    return {"part-failed", {{"state", Number(e.state)}, {"reason", e.reason}}};
}
EventRecord Record(const FailedRunReleased&) {
    return {"failed-run-released", {}};
}
EventRecord Record(const PartsDone&) {
    return {"parts-done", {}};
}
EventRecord Record(const ProcessEnding&) {
    return {"process-ending", {}};
}
EventRecord Record(const RunAborting&) {
    return {"run-aborting", {}};
}
EventRecord Record(const PhoneDownloaded&) {
    return {"phone-downloaded", {}};
}
EventRecord Record(const LastPartClosing&) {
    return {"last-part-closing", {}};
}
EventRecord Record(const LastPartClosed&) {
    return {"last-part-closed", {}};
}
EventRecord Record(const RunCancelled&) {
    return {"run-cancelled", {}};
}
EventRecord Record(const RunFinished& e) {
    return {"run-finished",
            {{"verdict", std::string(VerdictName(e.verdict))}, {"reason", e.reason}}};
}

} // namespace

EventRecord RecordOf(const PhoneRunEvent& event) {
    return std::visit([](const auto& e) { return Record(e); }, event);
}

const char* EventName(const PhoneRunEvent& event) {
    return RecordOf(event).event;
}

std::string DescribeEvent(const PhoneRunEvent& event) {
    return DescribeRecord(RecordOf(event));
}

std::optional<PhoneRunEnd> PhoneRunEnds::Follow(const PhoneRunEvent& event) {
    if (std::holds_alternative<PortWaitGaveUp>(event))
        portWaitGaveUp_ = true;
    const auto* finished = std::get_if<RunFinished>(&event);
    if (finished == nullptr)
        return std::nullopt;
    if (finished->verdict == Verdict::Stopped) {
        portWaitGaveUp_ = false;
        return std::nullopt;
    }
    const bool portNotFound = std::exchange(portWaitGaveUp_, false);
    if (finished->verdict == Verdict::Passed)
        return PhoneRunEnd::Succeeded;
    return portNotFound ? PhoneRunEnd::PortNotFound : PhoneRunEnd::Failed;
}

const char* FailureLabel(PhoneState state) {
    return state == stDownloadFls || state == stDownloadEep ? "Failed (EEP)" : "Boot Failed";
}

} // namespace marlow::phone
