#include "uartloader/log_file.h"

#include "common/regular_file.h"

#include <QSaveFile>

namespace marlow::uartloader {

namespace {

LogSave Refuse(LogSave result, std::string reason, std::string* why) {
    if (why != nullptr)
        *why = std::move(reason);
    return result;
}

} // namespace

// A pipe or a device in the log's place is refused, never replaced.
LogSave SaveLogFile(const std::string& path, std::string_view text, std::string* why) {
    if (const Status named = NamesRegularFileOrNothing(path); !named)
        return Refuse(LogSave::CannotCreate, named.Error(), why);
    QSaveFile file(QString::fromStdString(path));
    // Unbuffered: a write the file system refuses (full, over a size limit)
    // must fail here. Buffered, it would fail only in commit's flush, which
    // QSaveFile does not count, and an empty file would replace the log.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return Refuse(LogSave::CannotCreate, file.errorString().toStdString(), why);
    const auto size = static_cast<qint64>(text.size());
    if (file.write(text.data(), size) != size || !file.commit())
        return Refuse(LogSave::CannotWrite, file.errorString().toStdString(), why);
    return LogSave::Saved;
}

Status LogFileCanBeSaved(const std::string& path) {
    if (Status named = NamesRegularFileOrNothing(path); !named)
        return named;
    QSaveFile file(QString::fromStdString(path));
    if (!file.open(QIODevice::WriteOnly))
        return Failure{file.errorString().toStdString()};
    // Discards the file written beside the target; the target is untouched.
    file.cancelWriting();
    file.commit();
    return {};
}

} // namespace marlow::uartloader
