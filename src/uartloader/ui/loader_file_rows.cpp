#include "uartloader/ui/loader_file_rows.h"

#include <QFontMetrics>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <algorithm>

namespace marlow::uartloader::ui {

const std::array<FileRowLayout, kFileRoleCount> kFileRowLayouts = {{
    {"2nd Boot Binary File : ", "2nd Boot Binary File", 1084, 1085, 1086, 1089, 1088},
    {"Ext Mem Init Function :", "Ext Mem Init Function (executing)", 1090, 1091, 1092, 1094, 1093},
    {"Boot Flash Loader :", "Boot Flash Loader", 1095, 1096, 1097, 1099, 1098},
    {"XLoader Binary File : ", "XLoader Binary File", 1100, 1101, 1102, 1104, 1103},
    {"Ext Mem Init Function :", "Ext Mem Init Function (flashing)", 1105, 1106, 1107, 1109, 1108},
    {"ADL Binary File :", "ADL Binary File", 1110, 1111, 1112, 1114, 1113},
    {"Production Binary File :", "Production Binary File", 1115, 1116, 1117, 1119, 1118},
    {"Normal Binary File :", "Normal Binary File", 1120, 1121, 1122, 1124, 1123},
    {"ST Total Write File :", "ST Total Write File", 1125, 1126, 1127, 1129, 1132},
}};

namespace {

constexpr std::size_t kFirstSentAddressRow = 2;
constexpr int kBarWidth = 110;
// Room for a folder and a file name at the dialog's first size.
constexpr int kPathMinimumWidth = 380;

template <class Widget> Widget* Named(Widget* widget, int id, const QString& accessibleName) {
    widget->setObjectName(QString::number(id));
    widget->setAccessibleName(accessibleName);
    return widget;
}

QLineEdit* AddressField(int id, const QString& accessibleName, QWidget* parent) {
    auto* field = Named(new QLineEdit(parent), id, accessibleName);
    field->setMaxLength(kAddressLength);
    return field;
}

QString Text(const std::string& text) {
    return QString::fromStdString(text);
}

} // namespace

FileRowControls MakeFileRow(std::size_t row, QGridLayout& grid, int gridRow, QWidget* parent) {
    const FileRowLayout& layout = kFileRowLayouts[row];
    const QString name = QString::fromLatin1(layout.name);
    FileRowControls controls;
    controls.label = new QLabel(QString::fromLatin1(layout.label), parent);
    controls.path = Named(new QLineEdit(parent), layout.pathId, name);
    controls.path->setMinimumWidth(kPathMinimumWidth);
    controls.label->setBuddy(controls.path);
    controls.browse = Named(new QPushButton(QStringLiteral("..."), parent), layout.browseId,
                            QStringLiteral("Browse for ") + name);
    controls.browse->setAutoDefault(false);
    controls.extAddress =
        AddressField(layout.extAddressId, name + QStringLiteral(" Ext. Address"), parent);
    controls.entryPoint =
        AddressField(layout.entryPointId, name + QStringLiteral(" Entry Point"), parent);
    controls.bar =
        Named(new QProgressBar(parent), layout.barId, name + QStringLiteral(" progress"));
    controls.bar->setRange(0, 100);
    controls.bar->setValue(0);

    grid.addWidget(controls.label, gridRow, kLabelColumn);
    grid.addWidget(controls.path, gridRow, kPathColumn);
    grid.addWidget(controls.browse, gridRow, kBrowseColumn);
    grid.addWidget(controls.extAddress, gridRow, kExtColumn);
    grid.addWidget(controls.entryPoint, gridRow, kEntryColumn);
    grid.addWidget(controls.bar, gridRow, kBarColumn);
    grid.setColumnStretch(kPathColumn, 1);
    return controls;
}

void AddColumnHeads(QGridLayout& grid, int gridRow, QWidget* parent) {
    grid.addWidget(new QLabel(QStringLiteral("Ext. Address"), parent), gridRow, kExtColumn);
    grid.addWidget(new QLabel(QStringLiteral("Entry Point"), parent), gridRow, kEntryColumn);
}

void AlignColumns(FileRows& rows) {
    int labelWidth = 0;
    for (const FileRowControls& row : rows)
        labelWidth = std::max(labelWidth, row.label->sizeHint().width());
    const QFontMetrics metrics = rows[0].extAddress->fontMetrics();
    // Eight of the widest hex digit, with room for the frame.
    const int addressWidth = metrics.horizontalAdvance(QString(kAddressLength, QChar('D'))) + 14;
    const int browseWidth = metrics.horizontalAdvance(QStringLiteral("...")) + 24;
    for (FileRowControls& row : rows) {
        row.label->setFixedWidth(labelWidth);
        row.browse->setFixedWidth(browseWidth);
        row.extAddress->setFixedWidth(addressWidth);
        row.entryPoint->setFixedWidth(addressWidth);
        row.bar->setFixedWidth(kBarWidth);
    }
}

void ApplyWriteMode(FileRows& rows, bool totalWrite) {
    for (std::size_t row = 0; row < rows.size(); ++row) {
        const bool inUse = (row == kStmListRow) == totalWrite;
        FileRowControls& controls = rows[row];
        controls.path->setEnabled(inUse);
        controls.browse->setEnabled(inUse);
        controls.extAddress->setEnabled(inUse && row >= kFirstSentAddressRow);
        controls.entryPoint->setEnabled(inUse && row >= kFirstSentAddressRow);
        if (row == kStmListRow)
            controls.bar->setEnabled(inUse);
    }
}

namespace {

// A hand-edited settings file may hold an address longer than the field
// shows. Unless the operator has typed over it, the whole text stays, so the
// run refuses it instead of sending its first eight characters.
void TakeAddress(const QLineEdit& field, std::string& text) {
    if (field.isModified() || text.size() <= static_cast<std::size_t>(kAddressLength))
        text = field.text().toStdString();
}

} // namespace

void TakeRows(const FileRows& rows, LoaderSettings& settings) {
    for (std::size_t row = 0; row < rows.size(); ++row) {
        settings.rows[row].path = rows[row].path->text().toStdString();
        TakeAddress(*rows[row].extAddress, settings.rows[row].extAddress);
        TakeAddress(*rows[row].entryPoint, settings.rows[row].entryPoint);
    }
}

void ShowRows(FileRows& rows, const LoaderSettings& settings) {
    for (std::size_t row = 0; row < rows.size(); ++row) {
        rows[row].path->setText(Text(settings.rows[row].path));
        rows[row].extAddress->setText(Text(settings.rows[row].extAddress));
        rows[row].entryPoint->setText(Text(settings.rows[row].entryPoint));
    }
}

} // namespace marlow::uartloader::ui
