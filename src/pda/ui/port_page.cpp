#include "pda/ui/port_page.h"

#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QVBoxLayout>

namespace marlow::pda::ui {

namespace {

constexpr int kBaudRates[] = {110,   300,   1200,   2400,   4800,   9600,  19200,
                              38400, 57600, 115200, 230400, 460800, 921600};

// The first entry after `from` that starts with `prefix`; -1 for none.
int FindStartingWith(const QComboBox* box, const QString& prefix, int from) {
    for (int i = from; i < box->count(); ++i)
        if (box->itemText(i).startsWith(prefix))
            return i;
    return -1;
}

} // namespace

CPortPage::CPortPage(const SheetValues& values, SheetEnvironment environment, QWidget* parent)
    : QWidget(parent), env_(std::move(environment)), givenPort_(values.debugPortName),
      givenBaud_(values.debugBaudRate) {
    // The port is reopened with whatever the sheet ends with.
    if (!env_.frontPanelMode && env_.closeDebugPort)
        env_.closeDebugPort();

    auto* group = new QGroupBox(QStringLiteral("COM Port"), this);
    // Editable: a device the system does not list (a USB adapter's node, a
    // pseudo-terminal) can be typed in as a path.
    ports_ = new QComboBox(group);
    ports_->setObjectName(QStringLiteral("ports"));
    ports_->setEditable(true);
    ports_->setInsertPolicy(QComboBox::NoInsert);
    ports_->setAccessibleName(QStringLiteral("Port"));
    bauds_ = new QComboBox(group);
    bauds_->setObjectName(QStringLiteral("bauds"));
    bauds_->setAccessibleName(QStringLiteral("Baud Rate"));
    for (const int baud : kBaudRates)
        bauds_->addItem(QString::number(baud));
    auto* form = new QFormLayout(group);
    form->addRow(QStringLiteral("Port"), ports_);
    form->addRow(QStringLiteral("Baud Rate"), bauds_);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(group);
    layout->addStretch();

    RebuildPortList();
    connect(ports_, &QComboBox::activated, this, [this](int index) {
        if (index == 0)
            RebuildPortList();
    });
}

void CPortPage::RebuildPortList() {
    ports_->clear();
    ports_->addItem(QString::fromLatin1(kSearchEntry));
    ports_->addItem(QString::fromLatin1(kNoPortEntry));
    ports_->addItems(env_.serialPorts ? env_.serialPorts() : SystemSerialPorts());
    SelectCurrentValues();
}

// No port name at all is the "(none)" entry. A name the list does not hold
// stays in the edit, so the operator sees what is in force.
void CPortPage::SelectCurrentValues() {
    const QString current = QString::fromStdString(givenPort_);
    const int found = current.isEmpty() ? kNoPortIndex : FindStartingWith(ports_, current, 1);
    ports_->setCurrentIndex(found);
    if (found < 0)
        ports_->setEditText(current);
    bauds_->setCurrentIndex(FindStartingWith(bauds_, QString::number(givenBaud_), 0));
}

void CPortPage::Apply(SheetValues& values) const {
    const QString port = ports_->currentText().trimmed();
    values.debugPortName = givenPort_;
    if (port == QLatin1String(kNoPortEntry))
        values.debugPortName.clear();
    else if (!port.isEmpty() && port != QLatin1String(kSearchEntry))
        values.debugPortName = port.toStdString();
    values.debugBaudRate = bauds_->currentIndex() >= 0 ? bauds_->currentText().toInt() : givenBaud_;
}

} // namespace marlow::pda::ui
