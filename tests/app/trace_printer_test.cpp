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

TEST(TraceText, LineFeedBecomesCrLfAndCarriageReturnIsDropped) {
    TracePrinter printer;
    StringTarget window;
    printer.WritePrint(window, "abc\n");
    EXPECT_EQ(window.Text(), "abc\r\n");
    printer.WritePrint(window, "d\r\ne");
    EXPECT_EQ(window.Text(), "abc\r\nd\r\ne");
}

TEST(TraceText, BackspacesEraseWhatTheSameCallWrote) {
    TracePrinter printer;
    StringTarget window;
    printer.WritePrint(window, "abc\b\bd");
    EXPECT_EQ(window.Text(), "ad");
}

TEST(TraceText, BackspacesReachBackIntoTheWindow) {
    TracePrinter printer;
    StringTarget window = WindowWith("12345");
    printer.WritePrint(window, "\b\b\bx");
    EXPECT_EQ(window.Text(), "12x");
}

TEST(TraceText, VerbatimTextKeepsPercentSigns) {
    TracePrinter printer;
    StringTarget window;
    printer.WritePrint(window, std::string("100%s %d%%\n"));
    EXPECT_EQ(window.Text(), "100%s %d%%\r\n");
}

TEST(TraceText, FormattedTextIsCutAt4095Characters) {
    TracePrinter printer;
    StringTarget window;
    printer.WritePrint(window, "%s", std::string(5000, 'a').c_str());
    EXPECT_EQ(window.Text(), std::string(4095, 'a'));
}

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
}

TEST(PendingBackspaces, TrailingBackspaceWaitsForTheNextCall) {
    TracePrinter printer;
    StringTarget window;
    printer.WritePrint(window, "xy\b");
    EXPECT_EQ(window.Text(), "xy");
    printer.WritePrint(window, "z");
    EXPECT_EQ(window.Text(), "xz");
}

TEST(PendingBackspaces, NextCallToAnotherWindowErasesThere) {
    TracePrinter printer;
    StringTarget first;
    StringTarget second = WindowWith("123");
    printer.WritePrint(first, "xy\b");
    printer.WritePrint(second, "z");
    EXPECT_EQ(first.Text(), "xy");
    EXPECT_EQ(second.Text(), "12z");
}

TEST(PendingBackspaces, AccumulateAcrossCallsOfOnlyBackspaces) {
    TracePrinter printer;
    StringTarget window = WindowWith("abcdef");
    printer.WritePrint(window, "\b");
    printer.WritePrint(window, "\b\b");
    printer.WritePrint(window, std::string());
    printer.WritePrint(window, "!");
    EXPECT_EQ(window.Text(), "abc!");
}

TEST(PendingBackspaces, MoreThanTheWindowHoldsEmptiesItOnly) {
    TracePrinter printer;
    StringTarget window = WindowWith("ab");
    printer.WritePrint(window, "\b\b\b\b\b");
    printer.WritePrint(window, "c");
    EXPECT_EQ(window.Text(), "c");
}

TEST(PendingBackspaces, HugeCountSaturatesInsteadOfWrapping) {
    const TraceEdit edit = PlanTraceEdit(10, std::numeric_limits<std::size_t>::max(), "\b\b");
    EXPECT_TRUE(edit.stopped);
    EXPECT_EQ(edit.pendingBackspaces, std::numeric_limits<std::size_t>::max());
}

TEST(TraceEditPlan, ErasingOnlyStillReplaces) {
    const TraceEdit edit = PlanTraceEdit(5, 0, "\bq\b\bx\b\by");
    // "\b" erases one window character, "q\b" cancels itself, the next "\b"
    // erases another, "x\b" cancels, "\b" a third, then "y".
    EXPECT_FALSE(edit.stopped);
    EXPECT_TRUE(edit.replace);
    EXPECT_EQ(edit.replaceFrom, 2u);
    EXPECT_EQ(edit.output, "y");
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
    printer.WritePrint(debug, "a");
    printer.WritePrint(deviceState, "a");
    EXPECT_EQ(fileInfo.Activations(), 0);
    EXPECT_EQ(debug.Activations(), 1);
    EXPECT_EQ(deviceState.Activations(), 1);

    portWaitShown = true;
    printer.WritePrint(debug, "b");
    printer.WritePrint(deviceState, "b");
    EXPECT_EQ(debug.Activations(), 1);
    EXPECT_EQ(deviceState.Activations(), 2);
}

TEST(Activation, AWriteThatChangesNothingVisibleStillActivates) {
    TracePrinter printer;
    StringTarget window(ActivationRule::Always());
    printer.WritePrint(window, "\r");
    EXPECT_EQ(window.Text(), "");
    EXPECT_EQ(window.Activations(), 1);
}

TEST(Clearing, EmptiesTheWindowAndKeepsPendingBackspaces) {
    TracePrinter printer;
    StringTarget window = WindowWith("abc");
    printer.WritePrint(window, "\b");
    printer.ClearMessageWindow(window);
    EXPECT_EQ(window.Text(), "");
    EXPECT_EQ(printer.PendingBackspaces(), 1u);
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
