#include "uartloader/ui/loader_port_list.h"

#include "uartloader/port_names.h"

#include <QComboBox>
#include <QSerialPortInfo>
#include <algorithm>

namespace marlow::uartloader::ui {

namespace {

constexpr int kComPortCount = 9;

bool IsComPortDevice(const QString& device) {
    for (int index = 0; index < kComPortCount; ++index)
        if (device.toStdString() == SystemPortPath(PortNameFromIndex(index)))
            return true;
    return false;
}

} // namespace

std::vector<PortEntry> LoaderPortEntries(const QList<QSerialPortInfo>& systemPorts) {
    std::vector<PortEntry> entries;
    for (int index = 0; index < kComPortCount; ++index) {
        const std::string name = PortNameFromIndex(index);
        entries.push_back({QString::fromStdString(name), QString::fromStdString(name),
                           QString::fromStdString(SystemPortPath(name))});
    }
    std::vector<PortEntry> others;
    for (const QSerialPortInfo& port : systemPorts) {
        if (IsComPortDevice(port.systemLocation()))
            continue;
        QString text = port.portName();
        if (!port.description().isEmpty())
            text += QStringLiteral(" - ") + port.description();
        others.push_back({text, port.systemLocation(), port.systemLocation()});
    }
    std::sort(others.begin(), others.end(),
              [](const PortEntry& a, const PortEntry& b) { return a.text < b.text; });
    entries.insert(entries.end(), others.begin(), others.end());
    return entries;
}

void FillPortList(QComboBox& list) {
    list.clear();
    for (const PortEntry& entry : LoaderPortEntries(QSerialPortInfo::availablePorts())) {
        list.addItem(entry.text, entry.portName);
        list.setItemData(list.count() - 1, entry.device, Qt::ToolTipRole);
    }
}

std::string ChosenPort(const QComboBox& list) {
    const QString text = list.currentText().trimmed();
    const int entry = list.findText(text);
    return entry >= 0 ? list.itemData(entry).toString().toStdString() : text.toStdString();
}

void ShowPort(QComboBox& list, const std::string& port) {
    const QString name = QString::fromStdString(port);
    const int entry = list.findData(name);
    list.setCurrentIndex(entry);
    // A typed text stays in the field until it is replaced explicitly.
    list.setEditText(entry >= 0 ? list.itemText(entry) : name);
}

} // namespace marlow::uartloader::ui
