#include "gui/about_dialog.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QVBoxLayout>

namespace marlow::gui {

AboutDialog::AboutDialog(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QString::fromLatin1(kProductTitle));
    auto* title = new QLabel(QString::fromLatin1(kProductTitle), this);
    title->setObjectName(QStringLiteral("aboutTitle"));
    auto* notice = new QLabel(
        QStringLiteral("Flashing and service tool for the two-processor handset."), this);
    notice->setObjectName(QStringLiteral("aboutNotice"));
    auto* build = new QLabel(QStringLiteral("BUILD 080118"), this);
    build->setObjectName(QStringLiteral("aboutBuild"));
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(title);
    layout->addWidget(notice);
    layout->addWidget(build);
    layout->addWidget(buttons);
}

} // namespace marlow::gui
