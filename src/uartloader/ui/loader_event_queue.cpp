#include "uartloader/ui/loader_event_queue.h"

namespace marlow::uartloader::ui {

namespace {

// Replaces the last queued event by `event` when both move the same bar.
bool MergeProgress(std::deque<LoaderEvent>& pending, const LoaderEvent& event) {
    const auto* progress = std::get_if<ProgressChanged>(&event);
    if (progress == nullptr || pending.empty())
        return false;
    auto* last = std::get_if<ProgressChanged>(&pending.back());
    if (last == nullptr || last->bar != progress->bar)
        return false;
    last->percent = progress->percent;
    return true;
}

} // namespace

void LoaderEventQueue::Post(const LoaderEvent& event) {
    {
        std::lock_guard lock(mutex_);
        if (!MergeProgress(pending_, event))
            pending_.push_back(event);
        if (showScheduled_)
            return;
        showScheduled_ = true;
    }
    QMetaObject::invokeMethod(
        this, [this] { ShowPending(); }, Qt::QueuedConnection);
}

void LoaderEventQueue::ShowPending() {
    {
        std::lock_guard lock(mutex_);
        showScheduled_ = false;
    }
    for (;;) {
        LoaderEvent next;
        {
            std::lock_guard lock(mutex_);
            if (pending_.empty())
                return;
            next = std::move(pending_.front());
            pending_.pop_front();
        }
        show_(next);
    }
}

} // namespace marlow::uartloader::ui
