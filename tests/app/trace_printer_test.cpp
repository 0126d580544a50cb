#include "app/trace_printer.h"
#include "app/trace_printer_edit.h"

#include <gtest/gtest.h>
#include <limits>
#include <sstream>
#include <thread>

namespace marlow::app {
namespace {

// A window that already shows some text.
StringTarget WindowWith(std::string_view text, ActivationRule rule = ActivationRule::Never()) {
    StringTarget target(rule);
    target.ReplaceToEnd(0, text);
    return target;
}

// One printer writing each of `writes` in turn into a window that showed
// `before`; a backspace the window cannot take yet waits for the next call.
TEST(TraceText, EachWriteLandsAsTheWindowShowsIt) {
    const struct {
        const char* what;
        std::string before;
        std::vector<std::string> writes;
        std::string after;
    } rows[] = {
        {"line feed becomes CR LF, CR is dropped", "", {"abc\n", "d\r\ne"}, "abc\r\nd\r\ne"},
        {"backspaces erase what the same call wrote", "", {"abc\b\bd"}, "ad"},
        {"backspaces reach back into the window", "12345", {"\b\b\bx"}, "12x"},
        {"a typed character and its backspace cancel", "12345", {"\bq\b\bx\b\by"}, "12y"},
        {"verbatim text keeps percent signs", "", {"100%s %d%%\n"}, "100%s %d%%\r\n"},
        {"a trailing backspace waits for the next call", "", {"xy\b", "z"}, "xz"},
        {"calls of only backspaces add up", "abcdef", {"\b", "\b\b", "", "!"}, "abc!"},
        {"more than the window holds empties it only", "ab", {"\b\b\b\b\b", "c"}, "c"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        TracePrinter printer;
        StringTarget window = WindowWith(row.before);
        for (const std::string& text : row.writes)
            printer.WritePrint(window, text);
        EXPECT_EQ(window.Text(), row.after);
    }
}

TEST(TraceText, FormattedTextIsCutAt4095Characters) {
    TracePrinter printer;
    StringTarget window;
    printer.WritePrint(window, "%s", std::string(5000, 'a').c_str());
    EXPECT_EQ(window.Text(), std::string(4095, 'a'));
}

// Backspaces left over wait, and the next call erases in its own window.
TEST(PendingBackspaces, OnlyBackspacesChangeNothingUntilTheNextCall) {
    TracePrinter printer;
    StringTarget first = WindowWith("hello", ActivationRule::Always());
    StringTarget second = WindowWith("12345");

    printer.WritePrint(first, "\b\b");
    EXPECT_EQ(first.Text(), "hello");
    EXPECT_EQ(first.Activations(), 0);
    EXPECT_EQ(printer.PendingBackspaces(), 2u);

    printer.WritePrint(second, "x");
    EXPECT_EQ(second.Text(), "123x");
    EXPECT_EQ(first.Text(), "hello");
    EXPECT_EQ(printer.PendingBackspaces(), 0u);

    // Clearing a window empties it and leaves waiting backspaces waiting.
    printer.WritePrint(first, "\b");
    printer.ClearMessageWindow(first);
    EXPECT_EQ(first.Text(), "");
    EXPECT_EQ(printer.PendingBackspaces(), 1u);
}

TEST(PendingBackspaces, HugeCountSaturatesInsteadOfWrapping) {
    const TraceEdit edit = PlanTraceEdit(10, std::numeric_limits<std::size_t>::max(), "\b\b");
    EXPECT_TRUE(edit.stopped);
    EXPECT_EQ(edit.pendingBackspaces, std::numeric_limits<std::size_t>::max());
}

TEST(TraceEditPlan, CarriageReturnAloneReplacesNothing) {
    const TraceEdit edit = PlanTraceEdit(5, 0, "\r");
    EXPECT_FALSE(edit.stopped);
    EXPECT_FALSE(edit.replace);
}

TEST(Activation, EachWindowAppliesItsOwnRule) {
    std::atomic<bool> portWaitShown{false};
    TracePrinter printer;
    StringTarget fileInfo(ActivationRule::For(MessageWindow::FileInformation, portWaitShown));
    StringTarget debug(ActivationRule::For(MessageWindow::DebugMessage, portWaitShown));
    StringTarget deviceState(ActivationRule::For(MessageWindow::DeviceState, portWaitShown));

    printer.WritePrint(fileInfo, "a");
    printer.WritePrint(debug, "\r"); // nothing to show still activates
    printer.WritePrint(deviceState, "a");
    EXPECT_EQ(fileInfo.Activations(), 0);
    EXPECT_EQ(debug.Text(), "");
    EXPECT_EQ(debug.Activations(), 1);
    EXPECT_EQ(deviceState.Activations(), 1);

    portWaitShown = true;
    printer.WritePrint(debug, "b");
    printer.WritePrint(deviceState, "b");
    EXPECT_EQ(debug.Activations(), 1);
    EXPECT_EQ(deviceState.Activations(), 2);
}

TEST(Serialization, CallsFromSeveralThreadsNeverInterleave) {
    TracePrinter printer;
    StringTarget window;
    constexpr int kLines = 500;
    auto writer = [&](char tag) {
        for (int i = 0; i < kLines; ++i)
            printer.WritePrint(window, "%c%04d-%c\n", tag, i, tag);
    };
    std::thread a(writer, 'A');
    std::thread b(writer, 'B');
    a.join();
    b.join();

    std::istringstream lines(window.Text());
    std::string line;
    int count = 0;
    while (std::getline(lines, line)) {
        ASSERT_EQ(line.size(), 8u) << line;
        EXPECT_EQ(line.front(), line[6]) << line;
        EXPECT_EQ(line.back(), '\r');
        ++count;
    }
    EXPECT_EQ(count, 2 * kLines);
}

} // namespace
} // namespace marlow::app
