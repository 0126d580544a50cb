#include "debugport/debug_port.h"

#include "debugport/debug_port_names.h"
#include "debugport/port_worker.h"

#include <QMetaObject>
#include <QThread>

namespace marlow::debugport {

CDebugPort::CDebugPort(DebugPortEvents events) : events_(std::move(events)) {}

CDebugPort::~CDebugPort() {
    CloseDebugPort();
}

Status CDebugPort::OpenDebugPort(const std::string& name, int baud) {
    if (open_.load() || thread_)
        CloseDebugPort();
    name_ = name;

    thread_ = std::make_unique<QThread>();
    thread_->setObjectName(QStringLiteral("ThreadWatchComm"));
    worker_ = new PortWorker(running_, events_.text);
    worker_->moveToThread(thread_.get());
    QObject::connect(
        worker_, &PortWorker::lost, &home_,
        [this, generation = ++generation_](const QString& reason) {
            OnLineLost(generation, reason.toStdString());
        },
        Qt::QueuedConnection);
    QObject::connect(thread_.get(), &QThread::finished, worker_, &QObject::deleteLater);
    running_.store(true);
    thread_->start();
    if (!thread_->isRunning()) {
        if (events_.setupFailed)
            events_.setupFailed("Error while creating ThreadWatchComm, " + name_);
        CloseDebugPort();
        return Failure{};
    }

    const QString device = QString::fromStdString(DebugPortDevice(name));
    Status opened;
    QMetaObject::invokeMethod(
        worker_, [&] { opened = worker_->Open(device, baud); }, Qt::BlockingQueuedConnection);
    if (!opened) {
        StopWatchThread();
        SetOpen(false);
        return opened;
    }
    SetOpen(true);
    return opened;
}

void CDebugPort::CloseDebugPort() {
    running_.store(false);
    if (thread_ && thread_->isRunning())
        QMetaObject::invokeMethod(
            worker_, [this] { worker_->Close(); }, Qt::BlockingQueuedConnection);
    StopWatchThread();
    SetOpen(false);
}

std::size_t CDebugPort::WriteDebugPort(const char* buffer, std::size_t count) {
    if (!open_.load() || !thread_ || count == 0)
        return 0;
    qint64 written = 0;
    const QByteArray bytes(buffer, static_cast<qsizetype>(count));
    QMetaObject::invokeMethod(
        worker_, [&] { written = worker_->Write(bytes); }, Qt::BlockingQueuedConnection);
    return static_cast<std::size_t>(written);
}

// The watch thread only ever waits in its event loop, so asking the loop to
// end always ends the thread.
void CDebugPort::StopWatchThread() {
    running_.store(false);
    if (!thread_)
        return;
    thread_->quit();
    thread_->wait();
    thread_.reset();
    worker_ = nullptr;
}

void CDebugPort::OnLineLost(unsigned generation, const std::string& reason) {
    if (generation != generation_ || !open_.load())
        return;
    const std::string name = name_;
    CloseDebugPort();
    if (events_.lost)
        events_.lost(name + " Port closed: " + reason);
}

void CDebugPort::SetOpen(bool open) {
    const bool was = open_.exchange(open);
    if (was != open && events_.openChanged)
        events_.openChanged(open);
}

} // namespace marlow::debugport
