#include "pda/ui/config_sheet.h"

#include "pda/ui/download_page.h"
#include "pda/ui/port_page.h"

#include <QDialogButtonBox>
#include <QTabWidget>
#include <QVBoxLayout>

namespace marlow::pda::ui {

CConfigSheet::CConfigSheet(const QString& caption, SheetEnvironment environment, QWidget* parent)
    : QDialog(parent) {
    setWindowTitle(caption);
    pages_ = new QTabWidget(this);
    download_ = new CDownloadPage(environment, pages_);
    port_ = new CPortPage(environment, pages_);
    pages_->addTab(download_, QStringLiteral("Image Open"));
    pages_->addTab(port_, QStringLiteral("Port Setting"));

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &CConfigSheet::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &CConfigSheet::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(pages_);
    layout->addWidget(buttons);
}

void CConfigSheet::accept() {
    download_->Apply();
    port_->Apply();
    QDialog::accept();
}

} // namespace marlow::pda::ui
