#include "gui_test_support.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QThread>

namespace marlow::test {

void EnsureApplication() {
    if (QApplication::instance())
        return;
    static int argc = 1;
    static char name[] = "gui_tests";
    static char* argv[] = {name, nullptr};
    qputenv("QT_QPA_PLATFORM", "offscreen");
    // Never destroyed: Qt's test helpers own objects that must outlive it.
    new QApplication(argc, argv);
    // Nothing a test does may reach the user's own settings.
    static TempDir settingsHome;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope,
                       QString::fromStdString(settingsHome.Path()));
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope,
                       QString::fromStdString(settingsHome.Path()));
}

bool ProcessUntil(const std::function<bool()>& done) {
    QDeadlineTimer bound(60000);
    while (!done()) {
        if (bound.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(1);
    }
    return true;
}

void Flush() {
    for (int round = 0; round < 5; ++round)
        QCoreApplication::processEvents(QEventLoop::AllEvents);
}

std::optional<QString> RecordingDialogs::Answer(const controls::FileChoice& choice) {
    choices.push_back(choice);
    if (answers.empty())
        return std::nullopt;
    const QString answer = answers.front();
    answers.pop_front();
    if (answer.isNull())
        return std::nullopt;
    return answer;
}

TempStore::TempStore()
    : store_(std::make_unique<QSettings>(QString::fromStdString(dir_.File("Marlow.conf")),
                                         QSettings::IniFormat)) {}

std::string TempStore::Value(const char* name) const {
    store_->sync();
    return store_->value(QString::fromLatin1(name)).toString().toStdString();
}

} // namespace marlow::test
