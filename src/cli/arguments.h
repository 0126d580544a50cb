#pragma once
// Command-line arguments without loss. A file name on Linux is bytes, not
// text: one that is not valid UTF-8 (a name written by an 8-bit system,
// byte 0xFF ...) must still open the file it names. Arguments are decoded
// as UTF-8 where they are valid, and each byte that is not becomes one of
// the unpaired surrogates U+DC80..U+DCFF, which no valid text holds; so
// ArgumentBytes(DecodedArguments(...)[i]) gives back exactly argv[i].

#include <QString>
#include <QStringList>
#include <string>

namespace marlow::cli {

QStringList DecodedArguments(int argc, const char* const* argv);
QString DecodedArgument(std::string_view bytes);

// The bytes an argument was given as: use it for every path from the
// command line instead of QString::toStdString, which is lossy.
std::string ArgumentBytes(const QString& argument);

} // namespace marlow::cli
