// The coloured label, the blinking and the two-line message dialogs, and the
// key rule they share with the front panel.

#include "controls/blink_message_dialog.h"
#include "controls/color_ref.h"
#include "controls/dialog_service.h"
#include "controls/key_rule.h"
#include "controls/two_line_message_dialog.h"
#include "support/accessible_names.h"
#include "support/gui_test_support.h"

#include <QMessageBox>
#include <QSignalSpy>
#include <QTest>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace marlow::controls {
namespace {

using test::EnsureApplication;

// What the colour references read as: red from the low byte up.
const QColor kOrange(255, 128, 64);
const QColor kBlue(Qt::blue);

TEST(ColorLabel, KeepsOnlyTheLastBackgroundAndPaintsWithIt) {
    EnsureApplication();
    CColorLabel label;
    label.resize(40, 20);
    label.SetBackColor(Qt::red);
    label.SetBackColor(Qt::green);
    EXPECT_EQ(label.BackBrush().color(), QColor(Qt::green));
    EXPECT_EQ(label.grab().toImage().pixelColor(2, 2), QColor(Qt::green));
}

// A short text under the program's title: the box leaves a title bar room
// for the whole title in bold beside an icon and three buttons, so no window
// manager has to cut it.
TEST(MessageBox, IsAsWideAsItsTitleNeeds) {
    EnsureApplication();
    const QString title = QString::fromLatin1(kDefaultCaption);
    const auto box = MakeMessageBox(nullptr, QStringLiteral("Done"), title);
    box->show();
    test::Flush();
    QFont bold = QApplication::font();
    bold.setBold(true);
    EXPECT_GE(box->width(), QFontMetrics(bold).horizontalAdvance(title) + 4 * 32);
}

// Only keys whose Windows code is a multiple of 32 get through: Enter and
// Escape cannot close a dialog (the message dialogs' test), Space still
// presses the focused button (the panel's), and so do the few like it.
TEST(KeyRule, LetsThroughOnlyKeysWhoseWindowsCodeIsAMultipleOf32) {
    const struct {
        const char* name;
        int key;
        Qt::KeyboardModifiers modifiers;
        bool swallowed;
    } rows[] = {
        {"Enter", Qt::Key_Return, {}, true},
        {"keypad Enter", Qt::Key_Enter, Qt::KeypadModifier, true},
        {"Escape", Qt::Key_Escape, {}, true},
        {"A", Qt::Key_A, {}, true},
        {"0", Qt::Key_0, {}, true},
        {"left arrow", Qt::Key_Left, {}, true},
        {"volume up, with no Windows code", Qt::Key_VolumeUp, {}, true},
        {"Space", Qt::Key_Space, {}, false},
        {"keypad 0", Qt::Key_0, Qt::KeypadModifier, false},
        {"F17", Qt::Key_F17, {}, false},
        {"~, on the key of `", Qt::Key_AsciiTilde, Qt::ShiftModifier, false},
        {"Tab: the panel stays reachable by keyboard", Qt::Key_Tab, {}, false},
    };
    for (const auto& row : rows) {
        const QKeyEvent press(QEvent::KeyPress, row.key, row.modifiers);
        EXPECT_EQ(SwallowsKeyDown(press), row.swallowed) << row.name;
    }
}

TEST(BlinkMessage, BlinksOrangeFirstThenItsOwnColour) {
    EnsureApplication();
    CBlinkMessageDlg blink;
    blink.SetText(QStringLiteral("USB Connecting..."));
    blink.SetTextColor(FromColorRef(kColorRefBlue));
    blink.open();
    ASSERT_TRUE(blink.IsShown() && blink.Blinking());
    EXPECT_EQ(blink.ShownColor(), kBlue);
    std::vector<QColor> shown;
    for (int tick = 0; tick < 3; ++tick) {
        blink.Tick();
        shown.push_back(blink.ShownColor());
    }
    EXPECT_THAT(shown, testing::ElementsAre(kOrange, kBlue, kOrange));
    EXPECT_THAT(test::AccessibleNameProblems(blink), testing::IsEmpty());
}

// The close-wait request ends either dialog quietly; Enter and Escape never
// do. Only the operator closing the blinking box raises DETECT_CANCEL.
TEST(MessageDialogs, CloseWaitEndsThemKeysDoNotClosingByHandCancelsTheWait) {
    EnsureApplication();
    CBlinkMessageDlg blink;
    CTwoLineMessageDlg twoLine;
    twoLine.SetTexts(QStringLiteral("Selected File dosen't exist"),
                     QStringLiteral("Check selected file"));
    twoLine.SetTextColor(FromColorRef(kColorRefRed));
    QSignalSpy cancels(&blink, &CBlinkMessageDlg::detectCancel);
    for (MessageDialog* dialog : std::initializer_list<MessageDialog*>{&blink, &twoLine}) {
        dialog->open();
        QTest::keyClick(dialog, Qt::Key_Return);
        QTest::keyClick(dialog, Qt::Key_Escape);
        EXPECT_TRUE(dialog->isVisible() && dialog->IsShown());
        QSignalSpy finished(dialog, &QDialog::finished);
        QMetaObject::invokeMethod(dialog, "CloseWait", Qt::QueuedConnection);
        test::Flush();
        EXPECT_FALSE(dialog->isVisible() || dialog->IsShown());
        ASSERT_EQ(finished.count(), 1);
        EXPECT_EQ(finished.front().front().toInt(), 0);
        dialog->open();
        dialog->close();
        EXPECT_FALSE(dialog->IsShown());
    }
    EXPECT_EQ(cancels.count(), 1);
    EXPECT_FALSE(blink.Blinking());
    EXPECT_EQ(twoLine.findChild<CColorLabel*>("202")->text(), "Check selected file");
    EXPECT_EQ(twoLine.findChild<CColorLabel*>("201")->ForeColor(), QColor(Qt::red));
    EXPECT_THAT(test::AccessibleNameProblems(twoLine), testing::IsEmpty());
}

} // namespace
} // namespace marlow::controls
