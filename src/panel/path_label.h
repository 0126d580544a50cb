#pragma once
// A label for a file path in a field narrower than the path: what does not
// fit is left out of the folders with an ellipsis, so the path's start and
// the file's name both stay in view; the tip and the accessible text keep
// the whole path.

#include <QLabel>

namespace marlow::panel {

class PathLabel : public QLabel {
public:
    using QLabel::QLabel;

    // Shows `path` and makes it the tip too.
    void SetPath(const QString& path);
    // The text as it is drawn at the label's present width.
    QString ShownText() const;

protected:
    void paintEvent(QPaintEvent* event) override;
};

} // namespace marlow::panel
