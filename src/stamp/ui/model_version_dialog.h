#pragma once
// `CModelVersionDlg`: stamps a file with a model name and version ("INSERT")
// or reads the stamp back ("VERIFY"). Every change of the two fields is
// checked against the stamp characters at once, so a bad character is
// pointed out while the operator is still typing; INSERT checks again and
// refuses to write a stamp with one.

#include "common/result.h"

#include <QDialog>
#include <functional>
#include <string>

class QLineEdit;
class QPushButton;

namespace marlow::stamp::ui {

class CModelVersionDlg : public QDialog {
    Q_OBJECT
public:
    // `onClose` refreshes the information display of the download file when
    // the operator leaves with CLOSE.
    explicit CModelVersionDlg(std::function<void()> onClose, QWidget* parent = nullptr);

    // Keeps a record of each INSERT: called with the file before its
    // trailer is written; what it returns is called with the model, the
    // version and how the write went.
    using InsertFinished =
        std::function<void(const std::string& model, const std::string& version, const Status&)>;
    void RecordInsertsWith(std::function<InsertFinished(const std::string& path)> record) {
        recordInsert_ = std::move(record);
    }

    QLineEdit* PathEdit() const { return path_; }
    QLineEdit* ModelEdit() const { return model_; }
    QLineEdit* VersionEdit() const { return version_; }
    QLineEdit* FoundModel() const { return foundModel_; }
    QLineEdit* FoundVersion() const { return foundVersion_; }

    // The dialog's buttons, under their historic handler names.
    void OnFileOpen();
    void OnInsert();
    void OnVerify();
    void OnCloseButton();

private:
    // False, after telling the operator, when the field holds a character
    // outside the stamp set.
    bool CheckField(QLineEdit* edit, bool model);
    QWidget* BuildSourceGroup();
    QWidget* BuildInsertGroup();
    QWidget* BuildRunGroup();
    QWidget* BuildVerificationGroup();

    std::function<void()> onClose_;
    std::function<InsertFinished(const std::string& path)> recordInsert_;
    QLineEdit* path_ = nullptr;
    QLineEdit* model_ = nullptr;
    QLineEdit* version_ = nullptr;
    QLineEdit* foundModel_ = nullptr;
    QLineEdit* foundVersion_ = nullptr;
    QPushButton* close_ = nullptr;
};

} // namespace marlow::stamp::ui
