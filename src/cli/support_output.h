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
// One compact JSON object per line on stdout.
void OutJsonLine(const QJsonObject& object);
// An engine's event as a JSON object: "event" and its fields by name.
QJsonObject JsonOf(const EventRecord& record);
std::string Hex32(std::uint32_t value); // "0x0000ABCD"

// CR LF → LF, for showing window text on a terminal.
std::string CrLfToLf(std::string_view text);

} // namespace marlow::cli

#include <QStringList>

class QCommandLineParser;

namespace marlow::cli {

// Parses a command's arguments. Returns false when the command should end at
// once with *exitCode: after --help (0) or on a usage error (2, told on
// stderr). An option or argument given with an empty value is such an error
// (a script's unset variable must not quietly become "the default" or "wait
// for nothing"), except for the options named in `mayBeEmpty`.
bool ParseArguments(QCommandLineParser& parser, const QStringList& args, int* exitCode,
                    const QStringList& mayBeEmpty = {});

} // namespace marlow::cli
