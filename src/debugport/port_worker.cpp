#include "debugport/port_worker.h"

#include "debugport/debug_port.h"
#include "debugport/debug_port_names.h"
#include "debugport/debug_port_problem.h"
#include "debugport/debugport_log.h"

#include <array>

#ifdef Q_OS_UNIX
#include <poll.h>
#endif

namespace marlow::debugport {

namespace {

// A line whose device has gone reports a hang-up for ever after; reading it
// again would only fail again.
bool LineHungUp(qintptr handle) {
#ifdef Q_OS_UNIX
    pollfd line{static_cast<int>(handle), POLLIN, 0};
    return poll(&line, 1, 0) > 0 && (line.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
#else
    (void)handle;
    return false;
#endif
}

Failure OpenFailure(const QSerialPort& port, const QString& device) {
    const std::string path = device.toStdString();
    const OpenProblem problem = ClassifyOpenFailure(port.error(), DeviceFactsOf(path));
    qCDebug(lcDebugPort).noquote()
        << device << "did not open: serial port error" << port.error() << port.errorString();
    return Failure{OpenProblemText(problem, path, port.errorString().toStdString())};
}

} // namespace

PortWorker::PortWorker(const std::atomic<bool>& running, std::function<void(std::string_view)> text)
    : running_(running), text_(std::move(text)) {}

Status PortWorker::Open(const QString& device, int baud) {
    port_ = new QSerialPort(this);
    port_->setPortName(device);
    if (!port_->open(QIODevice::ReadWrite)) {
        Failure why = OpenFailure(*port_, device);
        delete port_;
        port_ = nullptr;
        return why;
    }
    // The handset paces its console with XON/XOFF; the line is otherwise
    // plain 8N1.
    const bool applied = port_->setBaudRate(baud) && port_->setDataBits(QSerialPort::Data8) &&
                         port_->setParity(QSerialPort::NoParity) &&
                         port_->setStopBits(QSerialPort::OneStop) &&
                         port_->setFlowControl(QSerialPort::SoftwareControl);
    if (!applied) {
        Failure why = OpenFailure(*port_, device);
        Close();
        return why;
    }
    port_->clear(QSerialPort::AllDirections);
    connect(port_, &QSerialPort::readyRead, this, &PortWorker::Drain);
    connect(port_, &QSerialPort::errorOccurred, this, &PortWorker::OnError);
    qCDebug(lcDebugPort).noquote() << device << "opened at" << baud << "baud";
    return {};
}

void PortWorker::Close() {
    if (!port_)
        return;
    qCDebug(lcDebugPort).noquote() << port_->portName() << "closed";
    port_->disconnect(this);
    port_->clear(QSerialPort::AllDirections);
    port_->close();
    delete port_;
    port_ = nullptr;
}

qint64 PortWorker::Write(const QByteArray& bytes) {
    if (!port_ || !port_->isOpen())
        return 0;
    const qint64 written = port_->write(bytes);
    return written < 0 ? 0 : written;
}

// Reads the waiting bytes a chunk at a time and passes each chunk's text on
// before reading the next, so the window shows the bursts in arrival order.
void PortWorker::Drain() {
    std::array<char, kReceiveChunk> chunk{};
    while (port_ && running_.load() && port_->bytesAvailable() > 0) {
        const qint64 got = port_->read(chunk.data(), static_cast<qint64>(chunk.size()));
        if (got <= 0)
            break;
        const std::string_view text = ChunkText(std::string_view(chunk.data(), got));
        if (!text.empty() && text_)
            text_(text);
    }
}

// A failing read repeats at once and for ever, so the port is closed on the
// first one; the owner hears why. The port object goes later: this runs
// inside its own signal.
void PortWorker::OnError(QSerialPort::SerialPortError error) {
    if (!port_ || (error != QSerialPort::ReadError && error != QSerialPort::ResourceError))
        return;
    const bool removed = error == QSerialPort::ResourceError || LineHungUp(port_->handle());
    const QString reason = removed ? QStringLiteral("device removed") : port_->errorString();
    qCDebug(lcDebugPort).noquote()
        << port_->portName() << "lost:" << reason << "(error" << error << ")";
    QSerialPort* failed = port_;
    port_ = nullptr;
    failed->disconnect(this);
    failed->close();
    failed->deleteLater();
    emit lost(reason);
}

} // namespace marlow::debugport
