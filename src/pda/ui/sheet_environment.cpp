#include "pda/ui/sheet_environment.h"

#include <QSerialPortInfo>

namespace marlow::pda::ui {

QStringList SystemSerialPorts() {
    QStringList names;
    for (const QSerialPortInfo& port : QSerialPortInfo::availablePorts())
        names << port.portName();
    return names;
}

} // namespace marlow::pda::ui
