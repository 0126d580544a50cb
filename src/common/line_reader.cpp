#include "common/line_reader.h"

namespace marlow {

LineStatus LineReader::Stop(LineStatus status) {
    stopped_ = status;
    return status;
}

// Looks one character ahead without taking it.
bool LineReader::AtEndOfFile() {
    const int c = std::fgetc(file_);
    if (c == EOF)
        return true;
    std::ungetc(c, file_);
    return false;
}

LineStatus LineReader::Next(std::string& line) {
    line.clear();
    if (stopped_ != LineStatus::Line)
        return stopped_;
    if (lineNumber_ >= limits_.maxLines) {
        if (!AtEndOfFile())
            return Stop(LineStatus::TooManyLines);
        return std::ferror(file_) ? Stop(LineStatus::ReadError) : LineStatus::EndOfFile;
    }
    // One character over the limit is allowed for the CR of a CR LF; any
    // more and the line is too long, however far it would go on.
    const std::size_t longest = limits_.maxLength + 1;
    bool sawAnything = false;
    for (;;) {
        const int c = std::fgetc(file_);
        if (c == EOF) {
            if (std::ferror(file_)) {
                ++lineNumber_;
                return Stop(LineStatus::ReadError);
            }
            if (!sawAnything)
                return LineStatus::EndOfFile;
            break;
        }
        sawAnything = true;
        if (c == '\n')
            break;
        line.push_back(static_cast<char>(c));
        if (line.size() > longest)
            break;
    }
    ++lineNumber_;
    if (!line.empty() && line.back() == '\r' && line.size() <= longest)
        line.pop_back();
    if (line.size() > limits_.maxLength) {
        line.resize(limits_.maxLength);
        return Stop(LineStatus::TooLong);
    }
    return LineStatus::Line;
}

std::string LineReader::Fault() const {
    switch (stopped_) {
    case LineStatus::TooLong:
        return "line " + std::to_string(lineNumber_) + " is longer than " +
               std::to_string(limits_.maxLength) + " characters";
    case LineStatus::TooManyLines:
        return "the file has more than " + std::to_string(limits_.maxLines) + " lines";
    case LineStatus::ReadError:
        return "line " + std::to_string(lineNumber_) + " could not be read";
    case LineStatus::Line:
    case LineStatus::EndOfFile:
        break;
    }
    return {};
}

} // namespace marlow
