#include "records/process_identity.h"

#include <QFile>
#include <QSysInfo>

#include <unistd.h>

namespace marlow::records {

namespace {

std::string BootId() {
    QFile file(QStringLiteral("/proc/sys/kernel/random/boot_id"));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll().trimmed().toStdString();
}

// Field 22 of /proc/PID/stat, the start time in clock ticks since boot; the
// command name before it may hold blanks and parentheses, so the fields are
// counted from the last ')'.
std::string StartTicks(std::int64_t pid) {
    QFile file(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QByteArray stat = file.readAll();
    const qsizetype nameEnd = stat.lastIndexOf(')');
    if (nameEnd < 0)
        return {};
    const QList<QByteArray> fields = stat.mid(nameEnd + 2).split(' ');
    constexpr int kStartTimeAfterName = 19; // field 22, the name being field 2
    return fields.size() > kStartTimeAfterName ? fields[kStartTimeAfterName].toStdString()
                                               : std::string();
}

std::string StartOf(std::int64_t pid) {
    const std::string boot = BootId();
    const std::string ticks = StartTicks(pid);
    return boot.empty() || ticks.empty() ? std::string() : boot + "/" + ticks;
}

} // namespace

WriterIdentity ThisWriter() {
    const std::int64_t pid = ::getpid();
    return {QSysInfo::machineHostName().toStdString(), pid, StartOf(pid)};
}

bool WriterLives(const WriterIdentity& writer) {
    if (writer.host != QSysInfo::machineHostName().toStdString())
        return true;
    const std::string boot = BootId();
    if (boot.empty() || writer.start.empty())
        return true;
    if (writer.start.rfind(boot + "/", 0) != 0)
        return false; // written before this machine last started
    return StartOf(writer.pid) == writer.start;
}

} // namespace marlow::records
