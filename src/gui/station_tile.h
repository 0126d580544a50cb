#pragma once
// One slot of the station window: its name, what it does now, the file
// being sent with a progress bar, the run's time, and the verdict as a word
// on a colour large enough to read from across the line. A tile takes the
// keyboard focus (Tab reaches each) and is selected by focus or a click;
// on the accessibility bus it is named after its slot, with its state as
// its value.

#include "controls/color_label.h"

#include <QFrame>
#include <QString>

class QLabel;
class QProgressBar;

namespace marlow::gui {

// What a slot is doing; the words are the tile's state.
enum class TileState { Waiting, Flashing, Passed, Failed, Removed, Stopped };
const char* TileStateName(TileState state);

// Everything a tile shows, set in one go.
struct TileView {
    TileState state = TileState::Waiting;
    // The verdict of the slot's last run ("PASS", "FAIL", "STOP") or what it
    // does now ("WAIT", "BUSY"); stays after the handset has left.
    TileState verdict = TileState::Waiting;
    QString file{};
    int percent = 0;
    qint64 elapsedSeconds = 0;
    bool operator==(const TileView&) const = default;
};

class StationTile : public QFrame {
    Q_OBJECT
public:
    StationTile(const QString& slot, QWidget* parent = nullptr);

    const QString& Slot() const { return slot_; }
    void Show(const TileView& view);
    const TileView& Shown() const { return shown_; }
    // "Flashing", "Passed", "Waiting, last run Passed": the tile's value on
    // the accessibility bus.
    QString StateText() const;
    QString VerdictWord() const { return verdict_->text(); }
    void SetSelected(bool selected);

signals:
    void selected();

protected:
    void focusInEvent(QFocusEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    QString slot_;
    TileView shown_;
    bool shownOnce_ = false;
    QLabel* name_;
    controls::CColorLabel* verdict_;
    QLabel* state_;
    QLabel* file_;
    QProgressBar* progress_;
    QLabel* elapsed_;
};

} // namespace marlow::gui
