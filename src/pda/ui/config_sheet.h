#pragma once
// `CConfigSheet`, "Settings": the "Image Open" and "Port Setting" pages with
// OK and Cancel only, so nothing is applied before OK. It opens on the
// values it is given; after OK, Values() holds what the operator chose.

#include "pda/ui/sheet_environment.h"

#include <QDialog>

class QTabWidget;

namespace marlow::pda::ui {

class CDownloadPage;
class CPortPage;

class CConfigSheet : public QDialog {
    Q_OBJECT
public:
    CConfigSheet(const QString& caption, const SheetValues& values, SheetEnvironment environment,
                 QWidget* parent = nullptr);

    CDownloadPage* DownloadPage() const { return download_; }
    CPortPage* PortPage() const { return port_; }
    QTabWidget* Pages() const { return pages_; }

    // The values as the pages show them now.
    SheetValues Values() const;

private:
    QTabWidget* pages_ = nullptr;
    CDownloadPage* download_ = nullptr;
    CPortPage* port_ = nullptr;
};

} // namespace marlow::pda::ui
