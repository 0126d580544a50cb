#include "controls/dialog_service.h"

#include <QApplication>
#include <QFileDialog>
#include <QFontMetrics>
#include <QGridLayout>
#include <QMessageBox>

namespace marlow::controls {

namespace {

// The label stays as the operator knows it; the patterns ride along in a
// trailing group that the chooser hides.
QStringList QtFilters(const FileChoice& choice) {
    QStringList filters;
    for (const FileFilter& filter : choice.filters)
        filters << QStringLiteral("%1 (%2)").arg(filter.label, filter.patterns.join(' '));
    return filters;
}

std::optional<QString> RunChooser(QWidget* parent, const FileChoice& choice,
                                  QFileDialog::AcceptMode mode) {
    QFileDialog dialog(parent, choice.caption);
    dialog.setAcceptMode(mode);
    dialog.setFileMode(mode == QFileDialog::AcceptOpen ? QFileDialog::ExistingFile
                                                       : QFileDialog::AnyFile);
    dialog.setOption(QFileDialog::HideNameFilterDetails);
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setNameFilters(QtFilters(choice));
    dialog.setDefaultSuffix(choice.defaultSuffix);
    if (!choice.initialName.isEmpty())
        dialog.selectFile(choice.initialName);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    return dialog.selectedFiles().front();
}

class QtDialogs : public DialogService {
public:
    using DialogService::Message;

    void Message(QWidget* parent, const QString& text, const QString& caption) override {
        MakeMessageBox(parent, text, caption)->exec();
    }
    std::optional<QString> OpenFile(QWidget* parent, const FileChoice& choice) override {
        return RunChooser(parent, choice, QFileDialog::AcceptOpen);
    }
    std::optional<QString> SaveFile(QWidget* parent, const FileChoice& choice) override {
        return RunChooser(parent, choice, QFileDialog::AcceptSave);
    }
};

QtDialogs& QtDefault() {
    static QtDialogs dialogs;
    return dialogs;
}

DialogService* installed = nullptr;

} // namespace

namespace {

int TitleBarWidth(const QString& title) {
    // Window managers draw titles bold and often larger than the text of
    // the windows; beside the title sit the window's icon and its buttons.
    QFont font = QApplication::font();
    font.setBold(true);
    font.setPointSizeF(font.pointSizeF() * 1.25);
    constexpr int kIconAndButtons = 160;
    return QFontMetrics(font).horizontalAdvance(title) + kIconAndButtons;
}

} // namespace

// Qt sizes a box by its text and makes some room for its title, measured in
// its own title font; window managers draw titles wider and cut them ("Marlo…
// Beta"). A spacer as wide as the title bar needs keeps the box from being
// narrower.
std::unique_ptr<QMessageBox> MakeMessageBox(QWidget* parent, const QString& text,
                                            const QString& caption) {
    auto box =
        std::make_unique<QMessageBox>(QMessageBox::NoIcon, caption, text, QMessageBox::Ok, parent);
    if (auto* grid = qobject_cast<QGridLayout*>(box->layout()))
        grid->addItem(
            new QSpacerItem(TitleBarWidth(caption), 0, QSizePolicy::Minimum, QSizePolicy::Fixed),
            grid->rowCount(), 0, 1, grid->columnCount());
    return box;
}

DialogService& Dialogs() {
    return installed ? *installed : QtDefault();
}

void InstallDialogs(DialogService* service) {
    installed = service;
}

} // namespace marlow::controls
