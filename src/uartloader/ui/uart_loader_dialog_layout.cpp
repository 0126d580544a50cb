// How the loader dialog is laid out: "Connect && Setting" beside the log,
// then "Partition Download" with the write mode and its three row groups,
// then the current file and "Close". Every control carries its dialog id as
// its object name and an accessible name of its own.

#include "uartloader/ui/loader_port_list.h"
#include "uartloader/ui/uart_loader_dialog.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QFontDatabase>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace marlow::uartloader::ui {

namespace {

constexpr int kLogMinimumWidth = 420;
constexpr int kLogMinimumHeight = 200;
// Wide enough for "/dev/ttyUSB0" or a pseudo-terminal's path.
constexpr int kPortTextLength = 14;

template <class Widget> Widget* Named(Widget* widget, int id, const char* accessibleName) {
    widget->setObjectName(QString::number(id));
    widget->setAccessibleName(QString::fromLatin1(accessibleName));
    return widget;
}

QPushButton* Button(const char* text, int id, QWidget* parent) {
    auto* button = Named(new QPushButton(QString::fromLatin1(text), parent), id, text);
    button->setAutoDefault(false);
    return button;
}

// Return in the typed port must not reach "Close", the default button.
class SwallowReturn final : public QObject {
public:
    using QObject::QObject;
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() != QEvent::KeyPress)
            return false;
        const int key = static_cast<QKeyEvent*>(event)->key();
        return key == Qt::Key_Return || key == Qt::Key_Enter;
    }
};

} // namespace

QWidget* CUartLoaderDlg::BuildConnectGroup() {
    auto* group = new QGroupBox(QStringLiteral("Connect && Setting"), this);
    portList_ = Named(new QComboBox(group), 1075, "Port");
    portList_->setEditable(true);
    portList_->setInsertPolicy(QComboBox::NoInsert);
    portList_->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    portList_->setMinimumContentsLength(kPortTextLength);
    portList_->lineEdit()->installEventFilter(new SwallowReturn(portList_));
    FillPortList(*portList_);
    auto* portLabel = new QLabel(QStringLiteral("Port"), group);
    portLabel->setBuddy(portList_);

    connect_ = Button("Connect", 1076, group);
    auto* disconnect = Button("Disconnect", 1077, group);
    auto* saveSettings = Button("Save Settings", 1078, group);
    auto* loadSettings = Button("Load Settings", 1079, group);
    auto* saveLog = Button("Save Log", 1080, group);
    connect(connect_, &QPushButton::clicked, this, &CUartLoaderDlg::OnConnect);
    connect(disconnect, &QPushButton::clicked, this, &CUartLoaderDlg::OnDisconnect);
    connect(saveSettings, &QPushButton::clicked, this, &CUartLoaderDlg::OnSaveSettings);
    connect(loadSettings, &QPushButton::clicked, this, &CUartLoaderDlg::OnLoadSettings);
    connect(saveLog, &QPushButton::clicked, this, &CUartLoaderDlg::OnSaveLog);

    auto* grid = new QGridLayout(group);
    grid->addWidget(portLabel, 0, 0, 1, 2);
    grid->addWidget(portList_, 1, 0, 1, 2);
    grid->addWidget(connect_, 2, 0);
    grid->addWidget(disconnect, 2, 1);
    grid->addWidget(saveSettings, 3, 0);
    grid->addWidget(loadSettings, 3, 1);
    grid->addWidget(saveLog, 4, 0, 1, 2);
    grid->setRowStretch(5, 1);
    grid->setColumnStretch(0, 1);
    grid->setColumnStretch(1, 1);
    return group;
}

QWidget* CUartLoaderDlg::BuildLog() {
    log_ = Named(new QPlainTextEdit(this), 1083, "Log");
    log_->setReadOnly(true);
    log_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    log_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    log_->setMinimumSize(kLogMinimumWidth, kLogMinimumHeight);
    logInsert_ = QTextCursor(log_->document());
    return log_;
}

QWidget* CUartLoaderDlg::BuildPartitionGroup() {
    auto* group = new QGroupBox(QStringLiteral("Partition Download"), this);
    separateWrite_ =
        Named(new QRadioButton(QStringLiteral("Seperate Write"), group), 1130, "Seperate Write");
    totalWrite_ =
        Named(new QRadioButton(QStringLiteral("Total Write"), group), 1131, "Total Write");
    auto* modes = new QButtonGroup(group);
    modes->addButton(separateWrite_);
    modes->addButton(totalWrite_);
    // The state change, not the click: an accessible toggle sends no click.
    connect(separateWrite_, &QRadioButton::toggled, this, [this](bool on) {
        if (on)
            SetWriteMode(false);
    });
    connect(totalWrite_, &QRadioButton::toggled, this, [this](bool on) {
        if (on)
            SetWriteMode(true);
    });

    auto* modeRow = new QHBoxLayout;
    modeRow->addWidget(separateWrite_);
    modeRow->addWidget(totalWrite_);
    modeRow->addStretch();
    auto* column = new QVBoxLayout(group);
    column->addLayout(modeRow);
    // The heads above "Executing Files" serve "Flashing Files" right below.
    column->addWidget(BuildRowGroup("Executing Files", 0, 2, ColumnHeads::Shown, group));
    column->addWidget(BuildRowGroup("Flashing Files", 3, 7, ColumnHeads::Left, group));
    column->addWidget(
        BuildRowGroup("Total Download", kStmListRow, kStmListRow, ColumnHeads::Shown, group));
    AlignColumns(rows_);
    return group;
}

// The three row groups sit side by side in one parent, so their columns,
// given equal fixed widths, line up.
QWidget* CUartLoaderDlg::BuildRowGroup(const char* title, std::size_t firstRow, std::size_t lastRow,
                                       ColumnHeads heads, QWidget* parent) {
    auto* group = new QGroupBox(QString::fromLatin1(title), parent);
    auto* grid = new QGridLayout(group);
    if (heads == ColumnHeads::Shown)
        AddColumnHeads(*grid, 0, group);
    for (std::size_t row = firstRow; row <= lastRow; ++row) {
        rows_[row] = MakeFileRow(row, *grid, static_cast<int>(row - firstRow) + 1, group);
        connect(rows_[row].browse, &QPushButton::clicked, this, [this, row] { OnBrowse(row); });
    }
    return group;
}

QLayout* CUartLoaderDlg::BuildBottomRow() {
    currentFile_ = Named(new QLabel(QStringLiteral("Current Download File :"), this), 1133,
                         "Current Download File");
    auto* close = Button("Close", 1137, this);
    close->setDefault(true);
    connect(close, &QPushButton::clicked, this, &QDialog::accept);
    auto* row = new QHBoxLayout;
    row->addWidget(currentFile_, 1);
    row->addWidget(close);
    return row;
}

} // namespace marlow::uartloader::ui
