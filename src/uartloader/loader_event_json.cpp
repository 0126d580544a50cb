#include "uartloader/loader_event_json.h"

#include <cstdio>

namespace marlow::uartloader {

namespace {

template <class... Ts> struct Overloaded : Ts... { using Ts::operator()...; };
template <class... Ts> Overloaded(Ts...) -> Overloaded<Ts...>;

std::string EscapedByte(unsigned char c) {
    char buffer[8];
    std::snprintf(buffer, sizeof buffer, "\\u%04x", static_cast<unsigned>(c));
    return buffer;
}

void AppendUtf8Latin1(std::string& out, unsigned char c) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
}

std::string Field(const char* event, std::string_view text) {
    return std::string("{\"event\":\"") + event + "\",\"text\":" + JsonString(text) + "}";
}

} // namespace

std::string JsonString(std::string_view text) {
    std::string out = "\"";
    for (const char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        switch (c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            if (c < 0x20 || c == 0x7F)
                out += EscapedByte(c);
            else if (c >= 0x80)
                AppendUtf8Latin1(out, c);
            else
                out += ch;
        }
    }
    return out + "\"";
}

std::string EventToJson(const LoaderEvent& event) {
    return std::visit(
        Overloaded{
            [](const LogCleared&) { return std::string("{\"event\":\"log-cleared\"}"); },
            [](const LogAppended& e) { return Field("log", e.text); },
            [](const ProgressChanged& e) {
                return "{\"event\":\"progress\",\"bar\":" + std::to_string(e.bar) +
                       ",\"percent\":" + std::to_string(e.percent) + "}";
            },
            [](const CurrentFileChanged& e) { return Field("current-file", e.text); },
            [](const MessageBoxShown& e) { return Field("message-box", e.text); },
            [](const ConnectEnabled& e) {
                return std::string("{\"event\":\"connect-enabled\",\"enabled\":") +
                       (e.enabled ? "true" : "false") + "}";
            },
            [](const Diagnostic& e) { return Field("diagnostic", e.text); },
            [](const RunFinished& e) {
                return "{\"event\":\"run-finished\",\"reason\":" + JsonString(e.reason) +
                       ",\"verdict\":\"" + VerdictName(e.verdict) + "\"}";
            },
        },
        event);
}

std::string DescribeEvent(const LoaderEvent& event) {
    return std::visit(
        Overloaded{
            [](const LogCleared&) { return std::string("log cleared"); },
            [](const LogAppended& e) { return "log: " + JsonString(e.text); },
            [](const ProgressChanged& e) {
                return "bar " + std::to_string(e.bar) + ": " + std::to_string(e.percent) + "%";
            },
            [](const CurrentFileChanged& e) { return "current file: " + JsonString(e.text); },
            [](const MessageBoxShown& e) { return "message box: " + JsonString(e.text); },
            [](const ConnectEnabled& e) {
                return std::string("connect ") + (e.enabled ? "enabled" : "disabled");
            },
            [](const Diagnostic& e) { return "diagnostic: " + JsonString(e.text); },
            [](const RunFinished& e) {
                return std::string("run ") + VerdictName(e.verdict) +
                       (e.reason.empty() ? "" : ": " + JsonString(e.reason));
            },
        },
        event);
}

} // namespace marlow::uartloader
