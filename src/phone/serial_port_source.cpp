#include "phone/serial_port_source.h"

#include <QSerialPortInfo>

namespace marlow::phone {

std::string PhonePortNameOf(const QString& systemPortName) {
    if (systemPortName.startsWith("tty"))
        return systemPortName.mid(3).toStdString();
    return systemPortName.toStdString();
}

std::vector<std::string> SerialPortSource::PortNames() {
    std::vector<std::string> names;
    for (const QSerialPortInfo& port : QSerialPortInfo::availablePorts()) {
        const bool isModem = port.hasVendorIdentifier() && port.hasProductIdentifier() &&
                             port.vendorIdentifier() == kModemVendorId &&
                             port.productIdentifier() == kModemProductId;
        if (isModem)
            names.push_back(PhonePortNameOf(port.portName()));
    }
    return names;
}

} // namespace marlow::phone
