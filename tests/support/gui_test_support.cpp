#include "support/gui_test_support.h"

#include <QApplication>

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

// Runs a window records go to a store beside the settings, never to the
// user's; a test that sets RunStore itself chooses another.
TempStore::TempStore()
    : store_(std::make_unique<QSettings>(QString::fromStdString(dir_.File("Marlow.conf")),
                                         QSettings::IniFormat)) {
    store_->setValue(QStringLiteral("RunStore"), QString::fromStdString(dir_.File("runs.sqlite")));
}

std::string TempStore::Value(const char* name) const {
    store_->sync();
    return store_->value(QString::fromLatin1(name)).toString().toStdString();
}

} // namespace marlow::test
