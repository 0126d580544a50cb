#pragma once
// Reads a text file one line at a time, each line without its line end
// (LF, or CR LF). Lines are bounded so that a hostile file cannot make a
// reader swallow gigabytes looking for a line break.

#include <cstdio>
#include <string>

namespace marlow {

enum class LineStatus { Line, EndOfFile, TooLong, ReadError };

class LineReader {
public:
    static constexpr std::size_t kDefaultMaxLine = 64 * 1024;

    explicit LineReader(std::FILE* file, std::size_t maxLine = kDefaultMaxLine)
        : file_(file), maxLine_(maxLine) {}

    // On Line, `line` holds the text; on TooLong it holds the first maxLine
    // characters and the rest of that line has been skipped.
    LineStatus Next(std::string& line);
    std::size_t LineNumber() const { return lineNumber_; }

private:
    std::FILE* file_;
    std::size_t maxLine_;
    std::size_t lineNumber_ = 0;
};

} // namespace marlow
