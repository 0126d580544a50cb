#include "gui/save_as_text.h"

#include "common/regular_file.h"

#include <QFile>
#include <QSaveFile>

namespace marlow::gui {

Status SaveMessageText(const MessageText& text, const QString& path) {
    const std::string bytes = text.Bytes();
    // A pipe or a device in the file's place is refused, never replaced.
    if (const Status named = NamesRegularFileOrNothing(QFile::encodeName(path).toStdString());
        !named)
        return Failure{QStringLiteral("%1 could not be opened for writing: %2")
                           .arg(path, QString::fromStdString(named.Error()))
                           .toStdString()};
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
