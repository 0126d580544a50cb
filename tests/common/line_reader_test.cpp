#include "common/line_reader.h"
#include "support/temp_dir.h"

#include <cstdio>
#include <gtest/gtest.h>

namespace marlow {

namespace {
std::vector<std::string> ReadAll(const std::string& text, std::size_t maxLine,
                                 std::vector<LineStatus>* statuses = nullptr) {
    test::TempDir dir;
    test::WriteFile(dir.File("t.txt"), text);
    std::FILE* f = std::fopen(dir.File("t.txt").c_str(), "rb");
    LineReader reader(f, maxLine);
    std::vector<std::string> lines;
    std::string line;
    for (LineStatus s; (s = reader.Next(line)) != LineStatus::EndOfFile;) {
        lines.push_back(line);
        if (statuses != nullptr)
            statuses->push_back(s);
    }
    std::fclose(f);
    return lines;
}
} // namespace

TEST(LineReader, StripsLfAndCrLfButKeepsInnerBlanks) {
    EXPECT_EQ(ReadAll("a\r\nb \n\nc", 100), (std::vector<std::string>{"a", "b ", "", "c"}));
}

TEST(LineReader, EmptyFileHasNoLines) {
    EXPECT_TRUE(ReadAll("", 100).empty());
}

TEST(LineReader, OverlongLineIsCutAndFlagged) {
    std::vector<LineStatus> statuses;
    EXPECT_EQ(ReadAll("abcdef\nxy\n", 3, &statuses), (std::vector<std::string>{"abc", "xy"}));
    EXPECT_EQ(statuses, (std::vector<LineStatus>{LineStatus::TooLong, LineStatus::Line}));
}

} // namespace marlow
