#include "app/gui/save_as_text.h"

#include <QSaveFile>

namespace marlow::gui {

Status SaveMessageText(const MessageText& text, const QString& path) {
    const std::string bytes = text.Bytes();
    // Written beside the target and renamed over it, so a failed save never
    // leaves an earlier log half overwritten.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return Failure{QStringLiteral("%1 could not be opened for writing: %2")
                           .arg(path, file.errorString())
                           .toStdString()};
    if (file.write(bytes.data(), static_cast<qint64>(bytes.size())) !=
            static_cast<qint64>(bytes.size()) ||
        !file.commit())
        return Failure{QStringLiteral("%1 could not be written: %2")
                           .arg(path, file.errorString())
                           .toStdString()};
    return {};
}

} // namespace marlow::gui
