#pragma once
// Small output helpers shared by the commands: stdout for the requested text,
// stderr for everything else.

#include "common/event_fields.h"

#include <QJsonObject>
#include <QString>
#include <cstdio>
#include <string>
#include <string_view>

namespace marlow::cli {

void Out(std::string_view text);
void Err(std::string_view text);
// Text someone follows as it comes (a trace, a log, a report): written to
// stdout and flushed at once.
void OutNow(std::string_view text);
// One compact JSON object per line on stdout, flushed at once; the second
// form takes an object already encoded on one line.
void OutJsonLine(const QJsonObject& object);
void OutJsonLine(std::string_view json);
// An engine's event as a JSON object: "event" and its fields by name.
QJsonObject JsonOf(const EventRecord& record);
std::string Hex32(std::uint32_t value); // "0x0000ABCD"

// CR LF → LF, for showing window text on a terminal.
std::string CrLfToLf(std::string_view text);

} // namespace marlow::cli
