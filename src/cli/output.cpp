#include "cli/output.h"

#include "cli/command_registry.h"
#include "records/event_json.h"

#include <QJsonDocument>

namespace marlow::cli {

void Out(std::string_view text) {
    std::fwrite(text.data(), 1, text.size(), stdout);
}

void Err(std::string_view text) {
    std::fwrite(text.data(), 1, text.size(), stderr);
}

void OutNow(std::string_view text) {
    Out(text);
    std::fflush(stdout);
}

void OutJsonLine(const QJsonObject& object) {
    const QByteArray json = QJsonDocument(object).toJson(QJsonDocument::Compact);
    OutJsonLine(std::string_view(json.constData(), static_cast<std::size_t>(json.size())));
}

void OutJsonLine(std::string_view json) {
    Out(json);
    OutNow("\n");
}

std::string Hex32(std::uint32_t value) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%08X", value);
    return buf;
}

std::string CrLfToLf(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
            continue;
        out.push_back(text[i]);
    }
    return out;
}

QJsonObject JsonOf(const EventRecord& record) {
    return records::EventJson(record);
}

} // namespace marlow::cli
