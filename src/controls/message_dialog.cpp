#include "controls/message_dialog.h"

#include "controls/key_rule.h"

#include <QFrame>
#include <QVBoxLayout>
#include <algorithm>

namespace marlow::controls {

namespace {
constexpr int kWidth = 281; // 187 dialog units
constexpr int kCharHeight = 15;
} // namespace

// A title bar without a title keeps the close box, the operator's way out.
// The box keeps its height; it widens when a text needs more room than its
// width gives.
MessageDialog::MessageDialog(int lines, int height, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint) {
    setWindowTitle(QStringLiteral(" "));
    setFixedSize(kWidth, height);
    new KeyRule(*this);

    auto* frame = new QFrame(this);
    frame->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    frame->setLineWidth(1);
    auto* column = new QVBoxLayout(frame);
    column->setContentsMargins(4, 2, 4, 2);
    column->setSpacing(0);
    for (int line = 0; line < lines; ++line) {
        auto* label = new CColorLabel(frame);
        label->setObjectName(QString::number(200 + line + (lines > 1 ? 1 : 0)));
        label->setAlignment(Qt::AlignCenter);
        column->addWidget(label);
        lines_.push_back(label);
    }
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(6, 6, 6, 6);
    outer->addWidget(frame);
}

void MessageDialog::ShowLine(std::size_t index, const QString& text, const QColor& colour) {
    CColorLabel& line = Line(index);
    line.SetBold(true);
    line.SetCharHeight(kCharHeight);
    line.SetForeColor(colour);
    line.SetCaption(text);
    line.setAccessibleName(text);
    setFixedWidth(std::max(kWidth, layout()->sizeHint().width()));
}

void MessageDialog::CloseWait() {
    shown_ = false;
    done(0);
}

} // namespace marlow::controls
