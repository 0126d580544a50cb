#pragma once
// Reads a text file one line at a time, each line without its line end
// (LF, or CR LF). Both the length of a line and the number of lines are
// bounded, and the reader stops for good at either bound: a file without a
// single line break, or one with millions of them, costs no more than the
// limits its reader chose.

#include <cstdio>
#include <string>

namespace marlow {

enum class LineStatus { Line, EndOfFile, TooLong, TooManyLines, ReadError };

struct LineLimits {
    std::size_t maxLength = 64 * 1024; // characters of one line, its line end not counted
    std::size_t maxLines = 4096;
};

class LineReader {
public:
    explicit LineReader(std::FILE* file, LineLimits limits = {}) : file_(file), limits_(limits) {}

    // On Line, `line` holds the text; on TooLong it holds the first
    // maxLength characters. TooLong, TooManyLines and ReadError end the
    // reading: every later call returns the same status and reads nothing.
    LineStatus Next(std::string& line);
    std::size_t LineNumber() const { return lineNumber_; }

    // Why the reading ended early, naming the limit that was hit ("line 3
    // is longer than 4096 characters", "the file has more than 256
    // lines"); empty while it has not.
    std::string Fault() const;

private:
    LineStatus Stop(LineStatus status);
    bool AtEndOfFile();

    std::FILE* file_;
    LineLimits limits_;
    std::size_t lineNumber_ = 0;
    LineStatus stopped_ = LineStatus::Line;
};

} // namespace marlow
