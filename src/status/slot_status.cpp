#include "status/slot_status.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <array>
#include <utility>
#include <vector>

namespace marlow::status {

namespace {

constexpr std::array<std::pair<SlotState, const char*>, 11> kStateNames{{
    {SlotState::Idle, "idle"},
    {SlotState::Waiting, "waiting"},
    {SlotState::Pda, "pda"},
    {SlotState::HandOver, "hand-over"},
    {SlotState::PortWait, "port-wait"},
    {SlotState::Phone, "phone"},
    {SlotState::Uart, "uart"},
    {SlotState::Passed, "passed"},
    {SlotState::Failed, "failed"},
    {SlotState::Stopped, "stopped"},
    {SlotState::Removed, "removed"},
}};

constexpr std::string_view kRoot = "marlow/";

QString Q(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

std::string S(const QJsonObject& object, const char* key) {
    return object.value(QLatin1String(key)).toString().toStdString();
}

std::string Line(const QJsonObject& object) {
    return QJsonDocument(object).toJson(QJsonDocument::Compact).toStdString();
}

Result<QJsonObject> ObjectOf(std::string_view payload) {
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(
        QByteArray(payload.data(), static_cast<qsizetype>(payload.size())), &error);
    if (!document.isObject())
        return Failure{"the payload is no JSON object" +
                       (error.error != QJsonParseError::NoError
                            ? " (" + error.errorString().toStdString() + ")"
                            : std::string())};
    return document.object();
}

} // namespace

const char* NameOf(SlotState state) {
    for (const auto& [known, name] : kStateNames)
        if (known == state)
            return name;
    return "idle";
}

std::optional<SlotState> SlotStateNamed(std::string_view name) {
    for (const auto& [state, known] : kStateNames)
        if (name == known)
            return state;
    return std::nullopt;
}

bool Running(SlotState state) {
    return state >= SlotState::Pda && state <= SlotState::Uart;
}

std::string TopicLevel(std::string_view name) {
    std::string level;
    for (const char c : name) {
        switch (c) {
        case '/':
            level += "%2F";
            break;
        case '+':
            level += "%2B";
            break;
        case '#':
            level += "%23";
            break;
        case '%':
            level += "%25";
            break;
        case '\0':
            level += "%00";
            break;
        default:
            level += c;
        }
    }
    return level;
}

std::string NameOfLevel(std::string_view level) {
    static constexpr std::array<std::pair<std::string_view, char>, 5> kCodes{
        {{"%2F", '/'}, {"%2B", '+'}, {"%23", '#'}, {"%25", '%'}, {"%00", '\0'}}};
    std::string name;
    for (std::size_t i = 0; i < level.size(); ++i) {
        bool decoded = false;
        for (const auto& [code, c] : kCodes)
            if (level.substr(i, 3) == code) {
                name += c;
                i += 2;
                decoded = true;
                break;
            }
        if (!decoded)
            name += level[i];
    }
    return name;
}

std::string SlotTopic(std::string_view station, std::string_view slot) {
    return std::string(kRoot) + TopicLevel(station) + "/slot/" + TopicLevel(slot) + "/state";
}

std::string OnlineTopic(std::string_view station) {
    return std::string(kRoot) + TopicLevel(station) + "/online";
}

std::string RunsTopic(std::string_view station) {
    return std::string(kRoot) + TopicLevel(station) + "/runs";
}

std::optional<StatusTopic> ParseTopic(std::string_view topic) {
    if (!topic.starts_with(kRoot))
        return std::nullopt;
    std::vector<std::string_view> levels;
    for (std::string_view rest = topic.substr(kRoot.size());;) {
        const std::size_t slash = rest.find('/');
        levels.push_back(rest.substr(0, slash));
        if (slash == std::string_view::npos)
            break;
        rest.remove_prefix(slash + 1);
    }
    StatusTopic parsed{.station = NameOfLevel(levels[0])};
    if (levels.size() == 2 && levels[1] == "online")
        parsed.kind = StatusTopic::Kind::Online;
    else if (levels.size() == 2 && levels[1] == "runs")
        parsed.kind = StatusTopic::Kind::Runs;
    else if (levels.size() == 4 && levels[1] == "slot" && levels[3] == "state")
        parsed.slot = NameOfLevel(levels[2]);
    else
        return std::nullopt;
    return parsed;
}

std::string SlotPayload(std::string_view station, const SlotStatus& status,
                        std::int64_t publishedMs) {
    return Line({
        {"station", Q(station)},
        {"slot", Q(status.slot)},
        {"state", NameOf(status.state)},
        {"file", Q(status.file)},
        {"percent", status.percent},
        {"elapsedMs", static_cast<qint64>(status.elapsedMs)},
        {"lastVerdict", Q(status.lastVerdict)},
        {"lastReason", Q(status.lastReason)},
        {"units", status.units},
        {"firstPass", status.firstPass},
        {"firstPassYield",
         status.units == 0 ? 0.0 : static_cast<double>(status.firstPass) / status.units},
        {"publishedMs", static_cast<qint64>(publishedMs)},
    });
}

std::string RunPayload(std::string_view station, const RunSummary& run) {
    return Line({
        {"station", Q(station)},
        {"runId", Q(run.runId)},
        {"slot", Q(run.slot)},
        {"kind", Q(run.kind)},
        {"verdict", Q(run.verdict)},
        {"reason", Q(run.reason)},
        {"serialNumber", Q(run.serialNumber)},
        {"file", Q(run.file)},
        {"startedMs", static_cast<qint64>(run.startedMs)},
        {"endedMs", static_cast<qint64>(run.endedMs)},
    });
}

Result<SlotStatus> ReadSlotPayload(std::string_view payload) {
    const Result<QJsonObject> object = ObjectOf(payload);
    if (!object)
        return Failure{object.Error()};
    const std::string stateName = S(*object, "state");
    const std::optional<SlotState> state = SlotStateNamed(stateName);
    if (!state)
        return Failure{"the slot state \"" + stateName + "\" is none Marlow knows"};
    return SlotStatus{
        .slot = S(*object, "slot"),
        .state = *state,
        .file = S(*object, "file"),
        .percent = object->value("percent").toInt(),
        .elapsedMs = object->value("elapsedMs").toInteger(),
        .lastVerdict = S(*object, "lastVerdict"),
        .lastReason = S(*object, "lastReason"),
        .units = object->value("units").toInt(),
        .firstPass = object->value("firstPass").toInt(),
    };
}

Result<RunSummary> ReadRunPayload(std::string_view payload) {
    const Result<QJsonObject> object = ObjectOf(payload);
    if (!object)
        return Failure{object.Error()};
    return RunSummary{
        .runId = S(*object, "runId"),
        .slot = S(*object, "slot"),
        .kind = S(*object, "kind"),
        .verdict = S(*object, "verdict"),
        .reason = S(*object, "reason"),
        .serialNumber = S(*object, "serialNumber"),
        .file = S(*object, "file"),
        .startedMs = object->value("startedMs").toInteger(),
        .endedMs = object->value("endedMs").toInteger(),
    };
}

} // namespace marlow::status
