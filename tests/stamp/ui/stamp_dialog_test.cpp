// The model and version dialog: the live character check, INSERT and VERIFY
// on real files, and CLOSE refreshing the information display.

#include "stamp/ui/model_version_dialog.h"
#include "support/gui_test_support.h"

#include <QLineEdit>
#include <QTest>
#include <gtest/gtest.h>

namespace marlow::test {
namespace {

using stamp::ui::CModelVersionDlg;

class StampDialogTest : public testing::Test {
protected:
    StampDialogTest() : dialog([this] { ++refreshes; }) {}

    struct ApplicationFirst {
        ApplicationFirst() { EnsureApplication(); }
    } applicationFirst;
    RecordingDialogs dialogs;
    int refreshes = 0;
    CModelVersionDlg dialog;
    TempDir dir;
};

TEST_F(StampDialogTest, TitleFieldLimitsAndAnUnreadableFile) {
    EXPECT_EQ(dialog.windowTitle(), "Model & Version Setting");
    EXPECT_EQ(dialog.ModelEdit()->maxLength(), 14);
    EXPECT_EQ(dialog.VersionEdit()->maxLength(), 4);
    EXPECT_TRUE(dialog.FoundModel()->isReadOnly());
    dialog.PathEdit()->setText(QString::fromStdString(dir.File("missing.bin")));
    dialog.OnVerify();
    dialog.OnInsert();
    EXPECT_EQ(dialogs.messages.size(), 2u) << "a file that cannot be read is reported";
    EXPECT_TRUE(dialog.FoundModel()->text().isEmpty());
}

TEST_F(StampDialogTest, ABadCharacterIsNamedSelectedAndNeverWritten) {
    const std::string image = dir.File("nk.bin");
    WriteFile(image, std::vector<std::uint8_t>(100, 0xAB));
    dialog.PathEdit()->setText(QString::fromStdString(image));
    const QString allowed = "\" cannot be used: use only - . / 0-9 : ; A-Y a-z";
    const struct {
        QLineEdit* edit;
        const char* typed;
        QString refusal;
    } rows[] = {
        {dialog.ModelEdit(), "ABZ", "Invalid Character in Model Name\n\"Z" + allowed},
        {dialog.VersionEdit(), "1,", "Invalid Character in Model Version\n\"," + allowed},
    };
    for (const auto& row : rows) {
        dialogs.messages.clear();
        QTest::keyClicks(row.edit, row.typed);
        EXPECT_EQ(dialogs.messages, (std::vector<QString>{row.refusal}));
        EXPECT_EQ(row.edit->selectedText(), row.refusal.mid(row.refusal.indexOf('"') + 1, 1));
        dialog.OnInsert();
        EXPECT_EQ(dialogs.messages, (std::vector<QString>{row.refusal, row.refusal}));
        EXPECT_EQ(ReadFileBytes(image).size(), 100u);
        row.edit->clear();
    }
}

TEST_F(StampDialogTest, InsertThenVerifyShowsTheStamp) {
    const std::string image = dir.File("nk.bin");
    WriteFile(image, std::vector<std::uint8_t>(1000, 0xAB));
    dialog.PathEdit()->setText(QString::fromStdString(image));
    dialog.ModelEdit()->setText("QUILLON1");
    dialog.VersionEdit()->setText("1.2");
    dialog.OnInsert();
    EXPECT_EQ(ReadFileBytes(image).size(), 1020u); // the trailer's bytes are the stamp's matter
    dialog.OnVerify();
    EXPECT_EQ(dialog.FoundModel()->text(), "QUILLON1");
    EXPECT_EQ(dialog.FoundVersion()->text(), "1.2");
    EXPECT_TRUE(dialogs.messages.empty());
}

TEST_F(StampDialogTest, FileOpenFillsThePathAndCancelEmptiesIt) {
    dialogs.answers = {QString("/images/nk.nb0"), QString()};
    dialog.OnFileOpen();
    EXPECT_EQ(dialog.PathEdit()->text(), "/images/nk.nb0");
    EXPECT_EQ(dialogs.choices.front().defaultSuffix, "nb0");
    EXPECT_EQ(dialogs.choices.front().filters.front().label, "Image Files (*.nb0, *.bin)");
    dialog.OnFileOpen();
    EXPECT_EQ(dialog.PathEdit()->text(), "");
}

TEST_F(StampDialogTest, CloseRefreshesTheInformationAndCloses) {
    dialog.show();
    dialog.OnCloseButton();
    EXPECT_EQ(refreshes, 1);
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
}

} // namespace
} // namespace marlow::test
