#include "cli/output.h"

#include "cli/command_registry.h"
#include "cli/stop_signal.h"
#include "common/printable_text.h"
#include "records/event_json.h"

#include <QJsonDocument>
#include <cerrno>
#include <csignal>

namespace marlow::cli {

namespace {

// A write that found the pipe's reader gone. With SIGPIPE ignored (main)
// the write fails with EPIPE instead of ending the process on the spot.
void NoteIfClosed(bool failed) {
    if (failed && errno == EPIPE)
        StopSignal::Raise(SIGPIPE);
}

void WriteOut(std::string_view bytes) {
    NoteIfClosed(std::fwrite(bytes.data(), 1, bytes.size(), stdout) != bytes.size());
}

void FlushOut() {
    NoteIfClosed(std::fflush(stdout) != 0);
}

} // namespace

void Out(std::string_view text) {
    WriteOut(TerminalText(text));
}

void Err(std::string_view text) {
    const std::string shown = TerminalText(text);
    std::fwrite(shown.data(), 1, shown.size(), stderr);
}

void ErrCursorCodes(std::string_view codes) {
    std::fwrite(codes.data(), 1, codes.size(), stderr);
}

void OutCursorCodes(std::string_view codes) {
    WriteOut(codes);
}

void OutNow(std::string_view text) {
    Out(text);
    FlushOut();
}

void OutJsonLine(const QJsonObject& object) {
    const QByteArray json = QJsonDocument(object).toJson(QJsonDocument::Compact);
    OutJsonLine(std::string_view(json.constData(), static_cast<std::size_t>(json.size())));
}

// JSON escapes every control byte but DEL; it may stand only inside a
// string, where \u007f is the same value.
void OutJsonLine(std::string_view json) {
    std::string line;
    line.reserve(json.size() + 1);
    for (const char c : json) {
        if (c == '\x7f')
            line += "\\u007f";
        else
            line += c;
    }
    line += '\n';
    WriteOut(line);
    FlushOut();
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
