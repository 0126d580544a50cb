// The panel's controls and where they sit. The face keeps the panel's own
// size (289 x 239 dialog units at 6 x 13 pixel base units); the station
// set-up opens below it.

#include "controls/color_label.h"
#include "controls/readout_label.h"
#include "panel/flash_animation.h"
#include "panel/front_panel_dialog.h"
#include "panel/panel_skin.h"
#include "panel/path_label.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QToolButton>
#include <QVBoxLayout>

namespace marlow::panel {

namespace {

constexpr int kFaceWidth = 434;
constexpr int kFaceHeight = 388;
constexpr int kPictureHeight = 76;

// The skin's background behind the controls.
class PanelFace : public QWidget {
public:
    using QWidget::QWidget;

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        PaintPanelBackground(painter, rect());
    }
};

void Name(QWidget& widget, int id) {
    widget.setObjectName(QString::number(id));
}

QPushButton* FaceButton(int id, const char* text, ButtonFace face, QWidget* parent) {
    auto* button = new QPushButton(FaceIcon(face), QString::fromLatin1(text), parent);
    Name(*button, id);
    const int size = face == ButtonFace::MpToolSet ? kLargeFaceSize : kFaceSize;
    button->setIconSize(QSize(size, size));
    button->setAutoDefault(false);
    return button;
}

template <typename Label> Label* Readout(int id, const char* role, QWidget* parent) {
    auto* label = new Label(parent);
    Name(*label, id);
    controls::MakeReadout(*label, QString::fromLatin1(role));
    return label;
}

QCheckBox* CheckBox(int id, const char* text, QWidget* parent) {
    auto* box = new QCheckBox(QString::fromLatin1(text), parent);
    Name(*box, id);
    return box;
}

QFont Sized(QFont font, int pixels, bool bold) {
    font.setPixelSize(pixels);
    font.setBold(bold);
    return font;
}

} // namespace

QWidget* CFrontPanelDlg::BuildFace() {
    face_ = new PanelFace(this);
    face_->setFixedSize(kFaceWidth, kFaceHeight);
    auto* picture = new QLabel(face_);
    Name(*picture, 1143);
    picture->setAccessibleName(QStringLiteral("Picture"));
    picture->setFixedHeight(kPictureHeight);
    picture->setPixmap(PanelPicture(QSize(kFaceWidth - 20, kPictureHeight)));

    auto* column = new QVBoxLayout(face_);
    column->setContentsMargins(10, 10, 10, 10);
    column->setSpacing(8);
    column->addWidget(picture);
    column->addWidget(BuildFilePathGroup(face_));
    column->addWidget(BuildStatusGroup(face_), 1);
    column->addLayout(BuildButtonRow(face_));
    BuildHiddenControls(face_);
    animation_ = new FlashAnimation(face_);
    PlaceAnimation();
    return face_;
}

// Where the refresh tick has always drawn the animation: over the picture.
void CFrontPanelDlg::PlaceAnimation() {
    animation_->move(face_->width() / 2 - kFlashFrameWidth / 2, face_->height() / 2 - 180);
}

QWidget* CFrontPanelDlg::BuildFilePathGroup(QWidget* parent) {
    auto* group = new QGroupBox(QStringLiteral("File Path"), parent);
    pdaPath_ = Readout<PathLabel>(1030, "PDA Download File", group);
    // A long path is shortened, not allowed to widen the panel.
    pdaPath_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    auto* row = new QVBoxLayout(group);
    row->setContentsMargins(8, 4, 8, 6);
    row->addWidget(pdaPath_);
    return group;
}

QWidget* CFrontPanelDlg::BuildStatusGroup(QWidget* parent) {
    auto* group = new QGroupBox(QStringLiteral("Status"), parent);
    status_ = Readout<controls::CColorLabel>(1032, "Status", group);
    status_->setAlignment(Qt::AlignCenter);
    status_->setFont(Sized(font(), 18, true));
    status_->setMinimumHeight(36);
    status_->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
    percent_ = Readout<QLabel>(1039, "Percent", group);
    percent_->setAlignment(Qt::AlignCenter);
    percent_->setFont(Sized(font(), 14, true));
    percent_->setText(QStringLiteral("0%"));
    auto* fileLabel = new QLabel(QStringLiteral("Current Download File:"), group);
    currentFile_ = Readout<QLabel>(1037, "Current Download File", group);
    currentFile_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    currentFile_->setFont(Sized(font(), 13, true));
    progress_ = new QProgressBar(group);
    Name(*progress_, 1000);
    progress_->setAccessibleName(QStringLiteral("Progress"));
    progress_->setRange(0, 100);
    progress_->setValue(0);
    progress_->setTextVisible(false);
    progress_->setFixedHeight(18);

    auto* fileRow = new QHBoxLayout;
    fileRow->addWidget(fileLabel);
    fileRow->addWidget(currentFile_, 1);
    auto* column = new QVBoxLayout(group);
    column->setContentsMargins(8, 6, 8, 8);
    column->setSpacing(6);
    column->addWidget(status_);
    column->addWidget(percent_);
    column->addLayout(fileRow);
    column->addWidget(progress_);
    return group;
}

QLayout* CFrontPanelDlg::BuildButtonRow(QWidget* parent) {
    setupToggle_ = new QToolButton(parent);
    setupToggle_->setObjectName(QStringLiteral("stationSetup"));
    setupToggle_->setText(QStringLiteral("Station setup"));
    setupToggle_->setToolTip(QStringLiteral("Show the selection, the file choosers and the tools"));
    setupToggle_->setCheckable(true);
    setupToggle_->setAutoRaise(true);
    setupToggle_->setArrowType(Qt::RightArrow);
    setupToggle_->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    connect(setupToggle_, &QToolButton::toggled, this, &CFrontPanelDlg::ShowStationSetup);

    downStart_ = FaceButton(1028, "Down Start", ButtonFace::DownStart, parent);
    downStart_->setToolTip(QStringLiteral("Download Start"));
    stop_ = FaceButton(1029, "Close", ButtonFace::Stop, parent);
    stop_->setToolTip(QStringLiteral("Stop"));
    for (QPushButton* button : {downStart_, stop_}) {
        button->setMinimumSize(140, 54);
        button->setFont(Sized(font(), 15, true));
    }
    connect(downStart_, &QPushButton::clicked, this, &CFrontPanelDlg::downStartPressed);
    connect(stop_, &QPushButton::clicked, this, &CFrontPanelDlg::stopPressed);

    auto* row = new QHBoxLayout;
    row->addWidget(setupToggle_, 0, Qt::AlignBottom);
    row->addStretch(1);
    row->addWidget(downStart_);
    row->addWidget(stop_);
    return row;
}

// The controls an operator never needs: the selection, the two choosers,
// "Close After Down" and the UART loader, with the phone package they chose.
QWidget* CFrontPanelDlg::BuildStationSetup() {
    setupPane_ = new PanelFace(this);
    setupPane_->setFixedWidth(kFaceWidth);
    setupGroup_ = new QGroupBox(QStringLiteral("Station setup"), setupPane_);
    pdaCheck_ = CheckBox(1134, "PDA Path", setupGroup_);
    phoneCheck_ = CheckBox(1135, "PHONE Path", setupGroup_);
    closeAfter_ = CheckBox(1026, "Close After Down", setupGroup_);
    pdaOpen_ = FaceButton(1027, "File Open", ButtonFace::PdaFileOpen, setupGroup_);
    pdaOpen_->setAccessibleName(QStringLiteral("PDA File Open"));
    pdaOpen_->setToolTip(QStringLiteral("File Open"));
    phoneOpen_ = FaceButton(1033, "File Open", ButtonFace::PhoneFileOpen, setupGroup_);
    phoneOpen_->setAccessibleName(QStringLiteral("Phone File Open"));
    mpToolSet_ = FaceButton(1031, "MP Tool Set", ButtonFace::MpToolSet, setupGroup_);
    mpToolSet_->setToolTip(QStringLiteral("Mp Tool Set"));
    phonePath_ = Readout<PathLabel>(1034, "Phone Package", setupGroup_);
    phonePath_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);

    // Each box rules its chooser whenever its state changes, so a toggle
    // from the keyboard or the accessibility bus counts as a click.
    connect(pdaCheck_, &QCheckBox::toggled, pdaOpen_, &QWidget::setEnabled);
    connect(phoneCheck_, &QCheckBox::toggled, phoneOpen_, &QWidget::setEnabled);
    connect(pdaOpen_, &QPushButton::clicked, this, &CFrontPanelDlg::OnPdaFileOpen);
    connect(phoneOpen_, &QPushButton::clicked, this, &CFrontPanelDlg::OnPhoneFileOpen);
    connect(mpToolSet_, &QPushButton::clicked, this, &CFrontPanelDlg::OnMpToolSet);

    auto* grid = new QGridLayout(setupGroup_);
    grid->setContentsMargins(8, 6, 8, 8);
    grid->addWidget(pdaCheck_, 0, 0);
    grid->addWidget(pdaOpen_, 0, 1);
    grid->addWidget(phoneCheck_, 1, 0);
    grid->addWidget(phoneOpen_, 1, 1);
    grid->addWidget(phonePath_, 1, 2);
    grid->addWidget(closeAfter_, 2, 0);
    grid->addWidget(mpToolSet_, 2, 1);
    grid->setColumnStretch(2, 1);
    auto* margin = new QVBoxLayout(setupPane_);
    margin->setContentsMargins(10, 0, 10, 10);
    margin->addWidget(setupGroup_);
    setupPane_->hide();
    return setupPane_;
}

// Held for the run, never shown: the image counter, the file information
// and the log list.
void CFrontPanelDlg::BuildHiddenControls(QWidget* parent) {
    counter_ = Readout<controls::CColorLabel>(1069, "Image Counter", parent);
    fileSize_ = Readout<QLabel>(1035, "File Size", parent);
    fileTime_ = Readout<QLabel>(1036, "File Time", parent);
    fileVersion_ = Readout<QLabel>(1047, "File Version", parent);
    fileModel_ = Readout<QLabel>(1048, "File Model", parent);
    log_ = new QListWidget(parent);
    Name(*log_, 1136);
    log_->setAccessibleName(QStringLiteral("Log"));
    for (QWidget* hidden : std::initializer_list<QWidget*>{counter_, fileSize_, fileTime_,
                                                           fileVersion_, fileModel_, log_})
        hidden->hide();
}

} // namespace marlow::panel
