#include "pda/ui/config_sheet.h"

#include "pda/ui/download_page.h"
#include "pda/ui/port_page.h"

#include <QDialogButtonBox>
#include <QTabWidget>
#include <QVBoxLayout>

namespace marlow::pda::ui {

CConfigSheet::CConfigSheet(const QString& caption, const SheetValues& values,
                           SheetEnvironment environment, QWidget* parent)
    : QDialog(parent) {
    setWindowTitle(caption);
    pages_ = new QTabWidget(this);
    download_ = new CDownloadPage(values, environment, pages_);
    port_ = new CPortPage(values, environment, pages_);
    pages_->addTab(download_, QStringLiteral("Image Open"));
    pages_->addTab(port_, QStringLiteral("Port Setting"));

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &CConfigSheet::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &CConfigSheet::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(pages_);
    layout->addWidget(buttons);
}

SheetValues CConfigSheet::Values() const {
    SheetValues values;
    download_->Apply(values);
    port_->Apply(values);
    return values;
}

} // namespace marlow::pda::ui
