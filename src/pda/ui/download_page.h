#pragma once
// `CDownloadPage`, "Image Open": the PDA file, the phone package, the "Phone"
// option and RAM or FLASH. The paths and the target are the sheet's values;
// the "Phone" option takes effect the moment it changes, also if the sheet
// is then cancelled.

#include "pda/ui/sheet_environment.h"

#include <QWidget>
#include <optional>

class QCheckBox;
class QLineEdit;
class QRadioButton;

namespace marlow::pda::ui {

class CDownloadPage : public QWidget {
    Q_OBJECT
public:
    CDownloadPage(const SheetValues& values, SheetEnvironment environment,
                  QWidget* parent = nullptr);

    // The page's buttons, under their historic handler names.
    void OnPdaButton();
    void OnPhoneButton();

    // Writes the paths and the target as the page shows them.
    void Apply(SheetValues& values) const;

    QLineEdit* PdaPath() const { return pdaPath_; }
    QLineEdit* PhonePath() const { return phonePath_; }
    QCheckBox* PhoneOption() const { return phoneOption_; }
    QRadioButton* Ram() const { return ram_; }
    QRadioButton* Flash() const { return flash_; }

private:
    void OnPhoneOptionToggled(bool checked);

    SheetEnvironment env_;
    QLineEdit* pdaPath_ = nullptr;
    QLineEdit* phonePath_ = nullptr;
    QCheckBox* phoneOption_ = nullptr;
    QRadioButton* ram_ = nullptr;
    QRadioButton* flash_ = nullptr;
};

} // namespace marlow::pda::ui
