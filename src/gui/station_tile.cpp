#include "gui/station_tile.h"

#include "controls/readout_label.h"
#include "station/elapsed_text.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QLabel>
#include <QProgressBar>
#include <QVBoxLayout>

namespace marlow::gui {

namespace {

// The verdict word and its colour: green and red for the verdicts, blue
// while flashing, grey while a slot waits or was stopped; white letters on
// each, so that the word reads on any of them.
struct Look {
    const char* word;
    QRgb colour;
};
Look LookOf(TileState verdict) {
    switch (verdict) {
    case TileState::Waiting:
        return {"WAIT", qRgb(0x75, 0x75, 0x75)};
    case TileState::Flashing:
        return {"BUSY", qRgb(0x15, 0x65, 0xc0)};
    case TileState::Passed:
        return {"PASS", qRgb(0x2e, 0x7d, 0x32)};
    case TileState::Failed:
    case TileState::Removed:
        return {"FAIL", qRgb(0xc6, 0x28, 0x28)};
    case TileState::Stopped:
        break;
    }
    return {"STOP", qRgb(0x42, 0x42, 0x42)};
}

// A tile is a group named after its slot whose value is its state.
class AccessibleTile : public QAccessibleWidget {
public:
    explicit AccessibleTile(StationTile* tile) : QAccessibleWidget(tile, QAccessible::Grouping) {}
    QString text(QAccessible::Text kind) const override {
        if (kind == QAccessible::Value)
            return static_cast<const StationTile*>(widget())->StateText();
        return QAccessibleWidget::text(kind);
    }
};

QAccessibleInterface* TileFactory(const QString&, QObject* object) {
    auto* tile = qobject_cast<StationTile*>(object);
    return tile != nullptr ? new AccessibleTile(tile) : nullptr;
}

} // namespace

const char* TileStateName(TileState state) {
    switch (state) {
    case TileState::Waiting:
        return "Waiting";
    case TileState::Flashing:
        return "Flashing";
    case TileState::Passed:
        return "Passed";
    case TileState::Failed:
        return "Failed";
    case TileState::Removed:
        return "Removed";
    case TileState::Stopped:
        break;
    }
    return "Stopped";
}

StationTile::StationTile(const QString& slot, QWidget* parent)
    : QFrame(parent), slot_(slot), name_(new QLabel(QStringLiteral("Slot ") + slot, this)),
      verdict_(new controls::CColorLabel(this)), state_(new QLabel(this)), file_(new QLabel(this)),
      progress_(new QProgressBar(this)), elapsed_(new QLabel(this)) {
    static const bool kFactory = [] {
        QAccessible::installFactory(TileFactory);
        return true;
    }();
    (void)kFactory;
    setFrameShape(QFrame::Box);
    setLineWidth(3);
    setFocusPolicy(Qt::StrongFocus);
    setAccessibleName(QStringLiteral("Slot ") + slot);
    QFont bold = name_->font();
    bold.setBold(true);
    bold.setPointSizeF(bold.pointSizeF() * 1.3);
    name_->setFont(bold);
    verdict_->SetBold(true);
    verdict_->SetCharHeight(72);
    verdict_->SetForeColor(Qt::white);
    verdict_->setAlignment(Qt::AlignCenter);
    verdict_->setMinimumHeight(100);
    controls::MakeReadout(*verdict_, QStringLiteral("Verdict"));
    controls::MakeReadout(*state_, QStringLiteral("State"));
    controls::MakeReadout(*file_, QStringLiteral("Current file"));
    controls::MakeReadout(*elapsed_, QStringLiteral("Elapsed"));
    file_->setTextFormat(Qt::PlainText);
    progress_->setRange(0, 100);
    progress_->setAccessibleName(QStringLiteral("Progress of slot ") + slot);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(name_);
    layout->addWidget(verdict_);
    layout->addWidget(state_);
    layout->addWidget(file_);
    layout->addWidget(progress_);
    layout->addWidget(elapsed_);
    Show({});
}

QString StationTile::StateText() const {
    QString text = QString::fromLatin1(TileStateName(shown_.state));
    if (shown_.state == TileState::Waiting && shown_.verdict != TileState::Waiting &&
        shown_.verdict != TileState::Flashing)
        text += QStringLiteral(", last run ") + QString::fromLatin1(TileStateName(shown_.verdict));
    return text;
}

void StationTile::Show(const TileView& view) {
    if (view == shown_ && shownOnce_)
        return;
    const QString before = StateText();
    shown_ = view;
    const Look look = LookOf(view.verdict);
    verdict_->SetBackColor(QColor(look.colour));
    controls::SetReadout(*verdict_, QString::fromLatin1(look.word));
    controls::SetReadout(*state_, StateText());
    // A file name elided from the left keeps its end, where names differ.
    const QString elided =
        file_->fontMetrics().elidedText(view.file, Qt::ElideLeft, std::max(file_->width(), 120));
    controls::SetReadout(*file_, view.file.isEmpty() ? QStringLiteral("-") : elided);
    file_->setToolTip(view.file);
    progress_->setValue(view.percent);
    controls::SetReadout(*elapsed_,
                         QString::fromStdString(station::ElapsedText(view.elapsedSeconds)));
    if (StateText() != before || !shownOnce_) {
        QAccessibleValueChangeEvent changed(this, StateText());
        QAccessible::updateAccessibility(&changed);
    }
    shownOnce_ = true;
}

void StationTile::SetSelected(bool selected) {
    // The same width either way, so that the tiles do not move.
    setFrameShadow(selected ? QFrame::Sunken : QFrame::Plain);
}

void StationTile::focusInEvent(QFocusEvent* event) {
    QFrame::focusInEvent(event);
    emit selected();
}

void StationTile::mousePressEvent(QMouseEvent* event) {
    QFrame::mousePressEvent(event);
    setFocus(Qt::MouseFocusReason);
    emit selected();
}

} // namespace marlow::gui
