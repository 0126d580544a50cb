#include "support/qt_events.h"
#include "support/hang_bound.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QThread>

namespace marlow::test {

void EnsureCoreApplication() {
    if (QCoreApplication::instance())
        return;
    static int argc = 1;
    static char name[] = "marlow_tests";
    static char* argv[] = {name, nullptr};
    new QCoreApplication(argc, argv);
}

bool ProcessUntil(const std::function<bool()>& done) {
    QDeadlineTimer bound(kStuckAfter.count());
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

} // namespace marlow::test
