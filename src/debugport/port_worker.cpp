#include "debugport/port_worker.h"

#include "debugport/debug_port.h"
#include "debugport/debug_port_names.h"

#include <array>

namespace marlow::debugport {

PortWorker::PortWorker(const std::atomic<bool>& running, std::function<void(std::string_view)> text)
    : running_(running), text_(std::move(text)) {}

bool PortWorker::Open(const QString& device, int baud, QString* error) {
    port_ = new QSerialPort(this);
    port_->setPortName(device);
    if (!port_->open(QIODevice::ReadWrite)) {
        *error = port_->errorString();
        delete port_;
        port_ = nullptr;
        return false;
    }
    // The handset paces its console with XON/XOFF; the line is otherwise
    // plain 8N1.
    const bool applied = port_->setBaudRate(baud) && port_->setDataBits(QSerialPort::Data8) &&
                         port_->setParity(QSerialPort::NoParity) &&
                         port_->setStopBits(QSerialPort::OneStop) &&
                         port_->setFlowControl(QSerialPort::SoftwareControl);
    if (!applied) {
        *error = port_->errorString();
        Close();
        return false;
    }
    port_->clear(QSerialPort::AllDirections);
    connect(port_, &QSerialPort::readyRead, this, &PortWorker::Drain);
    return true;
}

void PortWorker::Close() {
    if (!port_)
        return;
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

} // namespace marlow::debugport
