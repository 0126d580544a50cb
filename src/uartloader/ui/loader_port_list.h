#pragma once
// The loader's port list: "COM1" to "COM9" (the on-board UARTs
// /dev/ttyS0 to /dev/ttyS8), then the other serial ports this machine has
// (USB adapters with their description). The list is editable, so a device
// path or a pseudo-terminal can be typed in.

#include <QList>
#include <QString>
#include <string>
#include <vector>

class QComboBox;
class QSerialPortInfo;

namespace marlow::uartloader::ui {

struct PortEntry {
    QString text;     // as the list shows it
    QString portName; // what the session opens: "COM3", "/dev/ttyUSB0"
    QString device;   // the device behind it, for the tool tip
};

// The nine COM entries, then `systemPorts` that are not one of them, by name.
std::vector<PortEntry> LoaderPortEntries(const QList<QSerialPortInfo>& systemPorts);

// Fills `list` with the entries of the ports present now.
void FillPortList(QComboBox& list);

// What the operator chose: the entry's port ("COM3", "/dev/ttyUSB0"), else
// the typed text; empty when the text is blank.
std::string ChosenPort(const QComboBox& list);

// Selects the entry of `port`, or shows it as typed text when none has it.
void ShowPort(QComboBox& list, const std::string& port);

} // namespace marlow::uartloader::ui
