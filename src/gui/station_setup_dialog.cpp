#include "gui/station_setup_dialog.h"

#include "controls/dialog_service.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QSaveFile>
#include <QTableWidget>
#include <QTemporaryFile>
#include <QVBoxLayout>

namespace marlow::gui {

namespace {

enum Column { Name, Port, Mode, PdaFile, PhonePackage, ColumnCount };
constexpr station::SlotMode kModes[] = {station::SlotMode::Total, station::SlotMode::Pda,
                                        station::SlotMode::Phone};

QString Q(const std::string& text) {
    return QString::fromStdString(text);
}

} // namespace

StationSetupDialog::StationSetupDialog(std::string path, const station::StationFile& file,
                                       QWidget* parent)
    : QDialog(parent), path_(std::move(path)), table_(new QTableWidget(0, ColumnCount, this)) {
    setWindowTitle(QStringLiteral("Station Setup"));
    table_->setHorizontalHeaderLabels({QStringLiteral("Slot"), QStringLiteral("USB port"),
                                       QStringLiteral("Mode"), QStringLiteral("PDA list or image"),
                                       QStringLiteral("Phone package")});
    table_->setAccessibleName(QStringLiteral("Slots"));
    table_->horizontalHeader()->setStretchLastSection(true);
    table_->horizontalHeader()->setAccessibleName(QStringLiteral("Columns"));
    table_->verticalHeader()->hide();
    table_->setCornerButtonEnabled(false);
    if (auto* corner = table_->findChild<QAbstractButton*>())
        corner->setAccessibleName(QStringLiteral("Select all"));
    table_->setTabKeyNavigation(false);
    for (const station::StationSlot& slot : file.slotList)
        AddRow(slot);
    auto* add = new QPushButton(QStringLiteral("&Add Slot"), this);
    auto* remove = new QPushButton(QStringLiteral("&Remove Slot"), this);
    connect(add, &QPushButton::clicked, this, [this] {
        AddRow({.name = std::to_string(table_->rowCount() + 1),
                .portPath = {},
                .pdaFile = {},
                .phonePackage = {}});
        table_->setCurrentCell(table_->rowCount() - 1, Port);
    });
    connect(remove, &QPushButton::clicked, this, [this] {
        if (table_->currentRow() >= 0)
            table_->removeRow(table_->currentRow());
    });
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &StationSetupDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(QStringLiteral("Station file: ") + Q(path_), this));
    layout->addWidget(table_);
    auto* rowButtons = new QHBoxLayout;
    rowButtons->addWidget(add);
    rowButtons->addWidget(remove);
    rowButtons->addStretch(1);
    layout->addLayout(rowButtons);
    layout->addWidget(buttons);
    resize(900, 420);
}

void StationSetupDialog::AddRow(const station::StationSlot& slot) {
    const int row = table_->rowCount();
    table_->insertRow(row);
    table_->setItem(row, Name, new QTableWidgetItem(Q(slot.name)));
    table_->setItem(row, Port, new QTableWidgetItem(Q(slot.portPath)));
    table_->setItem(row, PdaFile, new QTableWidgetItem(Q(slot.pdaFile)));
    table_->setItem(row, PhonePackage, new QTableWidgetItem(Q(slot.phonePackage)));
    auto* mode = new QComboBox(table_);
    for (station::SlotMode each : kModes)
        mode->addItem(Q(std::string(station::SlotModeName(each))));
    mode->setCurrentText(Q(std::string(station::SlotModeName(slot.mode))));
    mode->setAccessibleName(QStringLiteral("Mode of slot ") + Q(slot.name));
    table_->setCellWidget(row, Mode, mode);
}

station::StationFile StationSetupDialog::Edited() const {
    station::StationFile file;
    const auto text = [this](int row, int column) {
        const QTableWidgetItem* item = table_->item(row, column);
        return item != nullptr ? item->text().trimmed().toStdString() : std::string();
    };
    for (int row = 0; row < table_->rowCount(); ++row) {
        const auto* mode = static_cast<const QComboBox*>(table_->cellWidget(row, Mode));
        file.slotList.push_back({.name = text(row, Name),
                                 .portPath = text(row, Port),
                                 .mode = kModes[std::max(0, mode->currentIndex())],
                                 .pdaFile = text(row, PdaFile),
                                 .phonePackage = text(row, PhonePackage)});
    }
    return file;
}

// The table is read back as the station file it would write, beside it (so
// that relative file names mean the same), and refused as the station
// would refuse the file.
std::string StationSetupDialog::Problem() const {
    const std::string text = station::StationFileText(Edited());
    QTemporaryFile file(QFileInfo(Q(path_)).absolutePath() + QStringLiteral("/.station-XXXXXX"));
    if (!file.open() ||
        file.write(text.data(), static_cast<qint64>(text.size())) !=
            static_cast<qint64>(text.size()) ||
        !file.flush())
        return path_ + " could not be written: " + file.errorString().toStdString();
    const Result<station::StationFile> read =
        station::ReadStationFile(file.fileName().toStdString());
    if (!read)
        return read.Error();
    return {};
}

void StationSetupDialog::accept() {
    if (const std::string problem = Problem(); !problem.empty()) {
        controls::Dialogs().Message(this, Q(problem));
        return;
    }
    const std::string text = station::StationFileText(Edited());
    QSaveFile file(Q(path_));
    if (!file.open(QIODevice::WriteOnly) ||
        file.write(text.data(), static_cast<qint64>(text.size())) !=
            static_cast<qint64>(text.size()) ||
        !file.commit()) {
        controls::Dialogs().Message(
            this, QStringLiteral("%1 could not be written: %2").arg(Q(path_), file.errorString()));
        return;
    }
    QDialog::accept();
}

} // namespace marlow::gui
