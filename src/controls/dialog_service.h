#pragma once
// Every modal message box and file chooser of the program goes through this
// one service, so a test can answer them instead of an operator and never
// blocks. The default shows the real Qt dialogs.

#include <QString>
#include <QStringList>
#include <memory>
#include <optional>
#include <vector>

class QMessageBox;
class QWidget;

namespace marlow::controls {

// One entry of a chooser's type list: the label as the operator reads it and
// the patterns it selects ("BIN Files(*.bin)", {"*.bin"}).
struct FileFilter {
    QString label;
    QStringList patterns;
};

struct FileChoice {
    QString caption;
    QString defaultSuffix; // without the dot
    QString initialName;   // file name or path offered first
    std::vector<FileFilter> filters;
};

// The caption a box gets when its owner names none.
inline constexpr const char* kDefaultCaption = "Marlow v1.4 Beta";

class DialogService {
public:
    virtual ~DialogService() = default;

    virtual void Message(QWidget* parent, const QString& text, const QString& caption) = 0;
    // nullopt when the operator cancels.
    virtual std::optional<QString> OpenFile(QWidget* parent, const FileChoice& choice) = 0;
    // Asks before overwriting an existing file.
    virtual std::optional<QString> SaveFile(QWidget* parent, const FileChoice& choice) = 0;

    void Message(QWidget* parent, const QString& text) {
        Message(parent, text, QString::fromLatin1(kDefaultCaption));
    }
};

// The box the Qt dialogs show for Message, not yet shown: at least as wide
// as a window manager's title bar needs for `caption`.
std::unique_ptr<QMessageBox> MakeMessageBox(QWidget* parent, const QString& text,
                                            const QString& caption);

// The service in force. Install(nullptr) returns to the Qt dialogs; the
// caller keeps ownership of what it installs.
DialogService& Dialogs();
void InstallDialogs(DialogService* service);

} // namespace marlow::controls
