#pragma once
// The production port source: the system's serial ports that belong to a USB
// device 058b:0015, as Qt SerialPort enumerates them.

#include "phone/phone_ports.h"

#include <QString>

namespace marlow::phone {

class SerialPortSource : public PhonePortSource {
public:
    std::vector<std::string> PortNames() override;
};

// The name the port rules read: a device node's name without its "tty"
// prefix ("ttyACM3" gives "ACM3", carrying 3), other names as they are.
std::string PhonePortNameOf(const QString& systemPortName);

} // namespace marlow::phone
