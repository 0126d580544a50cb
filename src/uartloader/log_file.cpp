#include "uartloader/log_file.h"

#include "common/regular_file.h"

#include <QSaveFile>

namespace marlow::uartloader {

namespace {

LogSave Refuse(LogSave result, const QSaveFile& file, std::string* why) {
    if (why != nullptr)
        *why = file.errorString().toStdString();
    return result;
}

} // namespace

// A pipe or a device in the log's place is refused, never replaced.
LogSave SaveLogFile(const std::string& path, std::string_view text, std::string* why) {
    if (!NamesRegularFileOrNothing(path, why))
        return LogSave::CannotCreate;
    QSaveFile file(QString::fromStdString(path));
    if (!file.open(QIODevice::WriteOnly))
        return Refuse(LogSave::CannotCreate, file, why);
    const auto size = static_cast<qint64>(text.size());
    if (file.write(text.data(), size) != size || !file.commit())
        return Refuse(LogSave::CannotWrite, file, why);
    return LogSave::Saved;
}

bool LogFileCanBeSaved(const std::string& path, std::string* why) {
    if (!NamesRegularFileOrNothing(path, why))
        return false;
    QSaveFile file(QString::fromStdString(path));
    if (!file.open(QIODevice::WriteOnly)) {
        Refuse(LogSave::CannotCreate, file, why);
        return false;
    }
    // Discards the file written beside the target; the target is untouched.
    file.cancelWriting();
    file.commit();
    return true;
}

} // namespace marlow::uartloader
