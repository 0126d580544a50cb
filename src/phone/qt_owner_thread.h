#pragma once
// The owner's thread as a Qt event loop: tasks are queued events for a
// context object living on that thread, run in the order they were posted,
// and dropped with the context object.

#include "phone/owner_thread.h"

#include <QObject>

namespace marlow::phone {

class QtOwnerThread : public OwnerThread {
public:
    explicit QtOwnerThread(QObject* context) : context_(context) {}
    void Post(std::function<void()> task) override;

private:
    QObject* context_;
};

} // namespace marlow::phone
