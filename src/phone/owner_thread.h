#pragma once
// The engine's own thread as other threads see it: a queue of tasks run in
// the order they were posted. Qt's event loop is the production queue; tests
// drain a manual one.

#include <functional>

namespace marlow::phone {

class OwnerThread {
public:
    virtual ~OwnerThread() = default;
    // Callable from any thread.
    virtual void Post(std::function<void()> task) = 0;
};

} // namespace marlow::phone
