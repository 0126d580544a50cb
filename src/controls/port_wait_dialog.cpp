#include "controls/port_wait_dialog.h"

#include <QLabel>
#include <QVBoxLayout>

namespace marlow::controls {

CPortWaitDlg::CPortWaitDlg(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QString::fromLatin1(kCaption));
    setModal(false);
    auto* label = new QLabel(QString::fromLatin1(kText), this);
    label->setObjectName(QStringLiteral("portWaitText"));
    label->setAlignment(Qt::AlignCenter);
    label->setWordWrap(true);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(label);
    resize(240, 90);
}

} // namespace marlow::controls
