#pragma once
// The half of the debug port that lives on the watch thread: the serial line
// object itself, which Qt wants used only from the thread that made it.

#include "common/result.h"

#include <QObject>
#include <QSerialPort>
#include <atomic>
#include <functional>
#include <string>
#include <string_view>

namespace marlow::debugport {

class PortWorker : public QObject {
    Q_OBJECT
public:
    PortWorker(const std::atomic<bool>& running, std::function<void(std::string_view)> text);

    // All three run on the watch thread. A failed open says why and what to
    // do about it.
    Status Open(const QString& device, int baud);
    void Close();
    qint64 Write(const QByteArray& bytes);

signals:
    // The line failed under the open port (its device was unplugged, the
    // other end of a pseudo-terminal closed). The port is closed already.
    void lost(const QString& reason);

private:
    void Drain();
    void OnError(QSerialPort::SerialPortError error);

    const std::atomic<bool>& running_;
    std::function<void(std::string_view)> text_;
    QSerialPort* port_ = nullptr;
};

} // namespace marlow::debugport
