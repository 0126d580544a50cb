#pragma once
// Labels that show a changing reading (the status line, the percent, the
// current file): a screen reader or a test robot finds each by the name of
// its role ("Status") and reads the text it shows now as its value and
// description. A plain label with a name of its own hides its text.

#include <QString>

class QLabel;

namespace marlow::controls {

// Names `label` after its role and exposes its text on the accessibility bus.
void MakeReadout(QLabel& label, const QString& role);

// Shows `text` and tells listening assistive tools that the reading changed.
void SetReadout(QLabel& label, const QString& text);

} // namespace marlow::controls
