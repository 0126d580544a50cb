#include "records/forwarder.h"

#include "phone/directory_watch.h"
#include "records/records_log.h"
#include "records/store.h"

#include <QFileInfo>

#include <algorithm>

namespace marlow::records {

// What the thread keeps between attempts.
struct Forwarder::Held {
    std::unique_ptr<RunStore> local;
    std::unique_ptr<CentralDatabase> central;
    std::unique_ptr<phone::DirectoryWatch> watch;
};

Forwarder::Forwarder(ForwarderOptions options)
    : options_(std::move(options)), held_(std::make_unique<Held>()) {}

std::unique_ptr<Forwarder> Forwarder::Start(ForwarderOptions options) {
    std::unique_ptr<Forwarder> forwarder(new Forwarder(std::move(options)));
    forwarder->thread_ = std::thread([raw = forwarder.get()] { raw->Run(); });
    return forwarder;
}

Forwarder::~Forwarder() {
    Stop();
}

void Forwarder::Stop() {
    {
        const std::lock_guard lock(mutex_);
        stopping_ = true;
        if (connected_ != nullptr)
            connected_->Interrupt();
    }
    wake_.notify_one();
    if (thread_.joinable())
        thread_.join();
}

std::int64_t Forwarder::Finish(std::chrono::milliseconds grace) {
    {
        std::unique_lock lock(mutex_);
        finishing_ = true;
        changed_ = true;
        wake_.notify_one();
        settledWake_.wait_for(lock, grace, [this] { return settled_; });
    }
    Stop();
    return Status().backlog;
}

ForwarderStatus Forwarder::Status() const {
    const std::lock_guard lock(mutex_);
    return status_;
}

void Forwarder::Changed() {
    {
        const std::lock_guard lock(mutex_);
        changed_ = true;
    }
    wake_.notify_one();
}

void Forwarder::Run() {
    using Clock = std::chrono::steady_clock;
    std::chrono::milliseconds backOff = options_.firstRetry;
    bool backingOff = false;
    Clock::time_point retryAt{};
    for (;;) {
        {
            std::unique_lock lock(mutex_);
            if (backingOff)
                wake_.wait_until(lock, retryAt, [this] { return stopping_ || finishing_; });
            else if (held_->watch && held_->watch->Healthy())
                wake_.wait(lock, [this] { return stopping_ || changed_; });
            else // no watch on the store: look now and then
                wake_.wait_for(lock, options_.longestRetry,
                               [this] { return stopping_ || changed_; });
            if (stopping_)
                break;
            changed_ = false;
        }
        backingOff = false;
        const marlow::Status passed = Pass();
        Settled(passed);
        if (passed) {
            backOff = options_.firstRetry;
            continue;
        }
        if (const std::lock_guard lock(mutex_); stopping_)
            break;
        qCDebug(lcRecords).noquote()
            << "forwarding:" << passed.Error().c_str() << "- again in" << backOff.count() << "ms";
        if (held_->local)
            NoteForwardingError(held_->local->Session(), passed.Error());
        {
            const std::lock_guard lock(mutex_);
            connected_ = nullptr;
        }
        held_->central.reset(); // a new connection next time
        backingOff = true;
        retryAt = Clock::now() + backOff;
        backOff = std::min(backOff * 2, options_.longestRetry);
    }
    {
        const std::lock_guard lock(mutex_);
        connected_ = nullptr;
    }
    held_.reset();
}

// A finishing front end waits for the first pass after its call that
// either emptied the outbox or failed: more passes would only wait longer.
void Forwarder::Settled(const marlow::Status& passed) {
    const std::lock_guard lock(mutex_);
    if (!finishing_ || changed_)
        return;
    if (passed && status_.backlog > 0) {
        changed_ = true; // records came in meanwhile: once more
        return;
    }
    settled_ = true;
    settledWake_.notify_all();
}

marlow::Status Forwarder::Pass() {
    ForwarderStatus status = Status();
    const auto tell = [&](marlow::Status result) {
        if (held_->local)
            if (const Result<OutboxState> outbox = ReadOutbox(held_->local->Session()); outbox)
                status.backlog = outbox->backlog;
        status.lastError = result ? std::string() : result.Error();
        {
            const std::lock_guard lock(mutex_);
            if (stopping_) // a failure of the stop's own making is no news
                return result;
            status_ = status;
        }
        if (options_.statusChanged)
            options_.statusChanged(status);
        return result;
    };
    if (!held_->local) {
        Result<std::unique_ptr<RunStore>> opened =
            RunStore::Open({.path = options_.storePath, .access = StoreAccess::Record});
        if (!opened)
            return tell(Failure{opened.Error()});
        held_->local = std::move(*opened);
    }
    if (!held_->watch) {
        const QFileInfo store(QString::fromStdString(options_.storePath));
        const std::string name = store.fileName().toStdString();
        Result<std::unique_ptr<phone::DirectoryWatch>> watch = phone::DirectoryWatch::Start(
            store.absolutePath().toStdString(),
            [this, name](const std::optional<std::string>& changed) {
                // The store, its -wal and -journal files.
                if (!changed || changed->starts_with(name))
                    Changed();
            },
            phone::DirectoryWatch::Hear::Writes);
        if (watch)
            held_->watch = std::move(*watch);
        else
            qCDebug(lcRecords).noquote() << "forwarder:" << watch.Error().c_str();
    }
    const SqlSession& local = held_->local->Session();
    if (!held_->central) {
        Result<std::unique_ptr<CentralDatabase>> central =
            CentralDatabase::Open(options_.central, CentralUse::Forward);
        if (!central)
            return tell(Failure{central.Error()});
        held_->central = std::move(*central);
        const std::lock_guard lock(mutex_);
        connected_ = held_->central.get();
    }
    for (;;) {
        if (const std::lock_guard lock(mutex_); stopping_)
            break;
        const Result<int> sent = ForwardBatch(local, held_->central->Session(), options_.batches);
        if (!sent)
            return tell(Failure{sent.Error()});
        status.forwarded += *sent;
        if (*sent == 0)
            break;
    }
    return tell({});
}

} // namespace marlow::records
