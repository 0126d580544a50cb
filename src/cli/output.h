#pragma once
// Small output helpers shared by the commands: stdout for the requested text,
// stderr for everything else.
//
// This is where every text leaves for a terminal, a pipe or a log, so the
// escaping of control bytes is done here and nowhere else: a name from a
// file or the command line, a text the handset sent, can never clear a
// screen, ring a bell or overwrite its own line, whichever path printed it.
// Line feeds, tabs and CR LF line ends pass; JSON lines keep their exact
// values, JSON-escaped.
//
// A closed stdout (the reading end of a pipe has gone, as with `| head -1`)
// stops the command the way SIGPIPE would, but as a stop: the run releases
// its handset and the exit code is 128 + SIGPIPE (141).

#include "common/event_fields.h"

#include <QJsonObject>
#include <QString>
#include <cstdio>
#include <string>
#include <string_view>

namespace marlow::cli {

void Out(std::string_view text);
void Err(std::string_view text);
// A board's own cursor movements on a terminal (the progress board's on
// stderr, the slot board's on stdout): the one text that leaves unescaped.
void ErrCursorCodes(std::string_view codes);
void OutCursorCodes(std::string_view codes);
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
