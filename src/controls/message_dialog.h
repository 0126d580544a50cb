#pragma once
// What the blinking and the two-line message dialogs share: an untitled box
// of a fixed size whose coloured texts sit inside a thin sunken frame, the
// key rule, a flag that is set from opening to ending, and the close-wait
// request by which any other part of the program ends it (a queued call of
// CloseWait() from another thread).

#include "controls/color_label.h"

#include <QDialog>
#include <vector>

namespace marlow::controls {

class MessageDialog : public QDialog {
    Q_OBJECT
public:
    bool IsShown() const { return shown_; }

public slots:
    // Ends the dialog with result 0, whoever asks.
    virtual void CloseWait();

protected:
    // `lines` labels, one above the other; `height` in pixels.
    MessageDialog(int lines, int height, QWidget* parent);

    CColorLabel& Line(std::size_t index) { return *lines_[index]; }
    const CColorLabel& Line(std::size_t index) const { return *lines_[index]; }
    // Bold, 15 pixels high, in `colour`, with `text`.
    void ShowLine(std::size_t index, const QString& text, const QColor& colour);
    void SetShown(bool shown) { shown_ = shown; }

private:
    std::vector<CColorLabel*> lines_;
    bool shown_ = false;
};

} // namespace marlow::controls
