#include "common/line_reader.h"
#include "support/temp_dir.h"

#include <cstdio>
#include <gtest/gtest.h>

namespace marlow {

namespace {

struct Reading {
    std::vector<std::string> lines; // every line handed out, the cut one included
    LineStatus last = LineStatus::EndOfFile;
    std::string fault;
    long consumed = 0; // bytes taken from the file
};

Reading ReadAll(const std::string& text, LineLimits limits) {
    test::TempDir dir;
    test::WriteFile(dir.File("t.txt"), text);
    std::FILE* f = std::fopen(dir.File("t.txt").c_str(), "rb");
    LineReader reader(f, limits);
    Reading reading;
    std::string line;
    while ((reading.last = reader.Next(line)) != LineStatus::EndOfFile) {
        reading.lines.push_back(line);
        if (reading.last != LineStatus::Line)
            break;
    }
    reading.fault = reader.Fault();
    reading.consumed = std::ftell(f);
    // Once stopped, the reader stays stopped and reads nothing more.
    EXPECT_EQ(reader.Next(line), reading.last);
    EXPECT_EQ(std::ftell(f), reading.consumed);
    std::fclose(f);
    return reading;
}

} // namespace

TEST(LineReader, LinesLimitsAndFaults) {
    const std::string noLineEnd(1 << 20, '\0');
    const std::string cut(16, '\0');
    struct Row {
        std::string text;
        LineLimits limits;
        std::vector<std::string> lines;
        LineStatus last;
        std::string fault;
    };
    using enum LineStatus;
    const Row rows[] = {
        {"a\r\nb \n\nc", {100, 10}, {"a", "b ", "", "c"}, EndOfFile, ""},
        {"", {100, 10}, {}, EndOfFile, ""},
        {"abc\r\nxy\n", {3, 10}, {"abc", "xy"}, EndOfFile, ""},
        {"abcdef\nxy\n", {3, 10}, {"abc"}, TooLong, "line 1 is longer than 3 characters"},
        {"ab\nabcd", {3, 10}, {"ab", "abc"}, TooLong, "line 2 is longer than 3 characters"},
        {noLineEnd, {16, 10}, {cut}, TooLong, "line 1 is longer than 16 characters"},
        {"a\nb\n", {100, 2}, {"a", "b"}, EndOfFile, ""},
        {"a\nb\nc\n", {100, 2}, {"a", "b", ""}, TooManyLines, "the file has more than 2 lines"},
    };
    for (const Row& row : rows) {
        const Reading reading = ReadAll(row.text, row.limits);
        const std::string what = row.text.substr(0, 12);
        EXPECT_EQ(reading.lines, row.lines) << what;
        EXPECT_EQ(reading.last, row.last) << what;
        EXPECT_EQ(reading.fault, row.fault) << what;
        // A reader stops at its limit: it never reads far past it.
        EXPECT_LE(reading.consumed, static_cast<long>(row.limits.maxLength + 2) *
                                        static_cast<long>(row.limits.maxLines + 1))
            << what;
    }
}

} // namespace marlow
