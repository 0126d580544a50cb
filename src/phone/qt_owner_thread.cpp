#include "phone/qt_owner_thread.h"

#include <QMetaObject>

namespace marlow::phone {

void QtOwnerThread::Post(std::function<void()> task) {
    QMetaObject::invokeMethod(context_, std::move(task), Qt::QueuedConnection);
}

} // namespace marlow::phone
