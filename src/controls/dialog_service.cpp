#include "controls/dialog_service.h"

#include <QFileDialog>
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
        QMessageBox box(QMessageBox::NoIcon, caption, text, QMessageBox::Ok, parent);
        box.exec();
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

DialogService& Dialogs() {
    return installed ? *installed : QtDefault();
}

void InstallDialogs(DialogService* service) {
    installed = service;
}

} // namespace marlow::controls
