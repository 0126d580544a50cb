#pragma once
// Carries the loader session's events to the UI thread, in order.
//
// The worker posts from its own thread and must never wait for the UI
// thread (which may itself be waiting for the worker to end), so Post only
// queues. The UI thread shows the events one at a time; when showing one
// opens a modal box, the box's own event loop goes on with the events that
// follow, still in order. A run of progress values for the same bar is
// shown as its last value: a second-stage image moves its bar once a byte.

#include "uartloader/loader_events.h"

#include <QObject>
#include <deque>
#include <functional>
#include <mutex>

namespace marlow::uartloader::ui {

class LoaderEventQueue final : public QObject, public LoaderSink {
public:
    using Show = std::function<void(const LoaderEvent&)>;

    // `show` runs on the thread this object lives in.
    explicit LoaderEventQueue(Show show) : show_(std::move(show)) {}

    // Any thread.
    void Post(const LoaderEvent& event) override;

private:
    void ShowPending();

    Show show_;
    std::mutex mutex_;
    std::deque<LoaderEvent> pending_;
    bool showScheduled_ = false;
};

} // namespace marlow::uartloader::ui
