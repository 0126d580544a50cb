#include "common/line_reader.h"

namespace marlow {

LineStatus LineReader::Next(std::string& line) {
    line.clear();
    bool tooLong = false;
    bool sawAnything = false;
    for (;;) {
        const int c = std::fgetc(file_);
        if (c == EOF) {
            if (std::ferror(file_))
                return LineStatus::ReadError;
            if (!sawAnything)
                return LineStatus::EndOfFile;
            break;
        }
        sawAnything = true;
        if (c == '\n')
            break;
        if (line.size() < maxLine_)
            line.push_back(static_cast<char>(c));
        else
            tooLong = true;
    }
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    ++lineNumber_;
    return tooLong ? LineStatus::TooLong : LineStatus::Line;
}

} // namespace marlow
