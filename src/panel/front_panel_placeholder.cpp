#include "panel/front_panel_placeholder.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QVBoxLayout>

namespace marlow::panel {

FrontPanelPlaceholder::FrontPanelPlaceholder(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QString::fromLatin1(kPanelTitle));
    auto* text = new QLabel(
        QStringLiteral("The production front panel is not built yet.\n"
                       "Set \"USB Downloader\" to \"1\" in the settings to use the main window."),
        this);
    text->setObjectName(QStringLiteral("placeholderText"));
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(text);
    layout->addWidget(buttons);
}

int RunFrontPanel(QWidget* parent) {
    FrontPanelPlaceholder panel(parent);
    return panel.exec();
}

} // namespace marlow::panel
