#include "gui/message_view.h"

#include <QFontMetricsF>
#include <QKeyEvent>
#include <QMetaObject>
#include <QProgressBar>
#include <QScrollBar>
#include <QStringView>
#include <QTextBlock>
#include <QTextCursor>
#include <utility>

namespace marlow::gui {

namespace {

constexpr int kProgressHeight = 22;
constexpr int kBottomMargin = 15;
// Below this a box is let wrap rather than be written too small to read.
constexpr int kSmallestFit = 10;

QFont MessageFont() {
    QFont font(QStringLiteral("Verdana"));
    font.setPixelSize(16);
    font.setWeight(QFont::Bold);
    font.setStyleHint(QFont::SansSerif);
    return font;
}

bool IsTypedCharacter(const QKeyEvent* event) {
    if (event->text().isEmpty())
        return false;
    if (event->modifiers() & (Qt::ControlModifier | Qt::MetaModifier))
        return false;
    const QChar c = event->text().front();
    return c.unicode() < 256 &&
           (c.isPrint() || c == '\r' || c == '\t' || c == '\b' || c.unicode() == 0x1b);
}

} // namespace

CMarlowView::CMarlowView(MessageText& text, bool pagingKeys, QWidget* parent)
    : QPlainTextEdit(parent), text_(text), pagingKeys_(pagingKeys) {
    setReadOnly(true);
    setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    setLineWrapMode(QPlainTextEdit::WidgetWidth);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setFont(MessageFont());
    setUndoRedoEnabled(false);
    setViewportMargins(0, 0, 0, kBottomMargin);

    // Writers on any thread queue their edits here; Qt delivers them in the
    // order they were posted, and drops them if the view has gone.
    text_.SetReceivers(
        [this](const DisplayEdit& edit) {
            QMetaObject::invokeMethod(
                this, [this, edit] { ApplyEdit(edit); }, Qt::QueuedConnection);
        },
        [this] {
            QMetaObject::invokeMethod(
                this, [this] { emit activationRequested(); }, Qt::QueuedConnection);
        });
    // After the receivers: an edit queued in between is caught by its length
    // check and answered with a fresh copy.
    setPlainText(text_.DisplayText());
    NoteBoxLines(toPlainText());
    FollowTheEnd();
}

CMarlowView::~CMarlowView() {
    text_.SetReceivers(nullptr, nullptr);
}

void CMarlowView::ApplyEdit(const DisplayEdit& edit) {
    QTextCursor cursor(document());
    cursor.beginEditBlock();
    cursor.setPosition(static_cast<int>(std::min<std::size_t>(
        edit.from, static_cast<std::size_t>(document()->characterCount() - 1))));
    cursor.movePosition(QTextCursor::End, QTextCursor::KeepAnchor);
    cursor.insertText(edit.text);
    if (edit.dropFront > 0) {
        cursor.setPosition(0);
        cursor.setPosition(static_cast<int>(edit.dropFront), QTextCursor::KeepAnchor);
        cursor.removeSelectedText();
    }
    cursor.endEditBlock();
    if (static_cast<std::size_t>(document()->characterCount() - 1) != edit.lengthAfter)
        Resynchronize();
    else if (NoteBoxLines(edit.text))
        FitTheBoxes();
    KeepToTheEnd();
}

// The information blocks and the flash write draw boxes of rules and bars
// ("|-----   File Infomation   -----|"); a line of one broken in two leaves
// "--|" alone on a line. The widest box line is remembered, and a window
// too narrow for it writes smaller.
bool CMarlowView::NoteBoxLines(const QString& text) {
    const QFontMetricsF metrics(MessageFont());
    bool wider = false;
    for (const QStringView line : QStringView(text).tokenize(u'\n')) {
        const QString box = line.trimmed().toString();
        if (!box.startsWith(QStringLiteral("|-")) ||
            metrics.horizontalAdvance(box) <= metrics.horizontalAdvance(widestBox_))
            continue;
        widestBox_ = box;
        wider = true;
    }
    return wider;
}

void CMarlowView::FitTheBoxes() {
    // The room a line has whether or not the scroll bar shows just now.
    const qreal room = contentsRect().width() - verticalScrollBar()->sizeHint().width() -
                       2 * document()->documentMargin() - cursorWidth() - 1;
    QFont font = MessageFont();
    while (font.pixelSize() > kSmallestFit &&
           QFontMetricsF(font).horizontalAdvance(widestBox_) > room)
        font.setPixelSize(font.pixelSize() - 1);
    if (font != this->font())
        setFont(font);
}

void CMarlowView::Resynchronize() {
    const bool adjusting = std::exchange(adjusting_, true);
    setPlainText(text_.DisplayText());
    adjusting_ = adjusting;
    if (NoteBoxLines(toPlainText()))
        FitTheBoxes();
}

// Wrapped lines are measured only as the pane lays them out, so the pane's
// height grows and its scroll position shifts after an edit has been shown;
// a pane that follows its end goes back there each time, and only a scroll
// of the operator's own ends that.
void CMarlowView::FollowTheEnd() {
    QScrollBar* bar = verticalScrollBar();
    connect(bar, &QAbstractSlider::actionTriggered, this, [this, bar] {
        // The position is the one the action asks for; the value follows.
        followEnd_ = bar->sliderPosition() >= bar->maximum();
    });
    connect(bar, &QAbstractSlider::rangeChanged, this, [this] { KeepToTheEnd(); });
    connect(bar, &QAbstractSlider::valueChanged, this, [this] { KeepToTheEnd(); });
}

void CMarlowView::KeepToTheEnd() {
    QScrollBar* bar = verticalScrollBar();
    if (!followEnd_ || adjusting_)
        return;
    adjusting_ = true;
    // The caret goes along, so that nothing that brings the caret into view
    // pulls the pane back up.
    QTextCursor end(document());
    end.movePosition(QTextCursor::End);
    setTextCursor(end);
    bar->setValue(bar->maximum());
    adjusting_ = false;
}

void CMarlowView::keyPressEvent(QKeyEvent* event) {
    if (pagingKeys_) {
        QScrollBar* bar = verticalScrollBar();
        switch (event->key()) {
        case Qt::Key_PageUp:
            bar->triggerAction(QAbstractSlider::SliderPageStepSub);
            return;
        case Qt::Key_PageDown:
            bar->triggerAction(QAbstractSlider::SliderPageStepAdd);
            return;
        case Qt::Key_Home:
            bar->triggerAction(QAbstractSlider::SliderToMinimum);
            return;
        case Qt::Key_End:
            bar->triggerAction(QAbstractSlider::SliderToMaximum);
            return;
        default:
            break;
        }
    }
    if (IsTypedCharacter(event)) {
        const QChar c = event->text().front();
        if (onCharacter)
            onCharacter(static_cast<char>(c.unicode()));
        return;
    }
    QPlainTextEdit::keyPressEvent(event);
}

void CMarlowView::resizeEvent(QResizeEvent* event) {
    QPlainTextEdit::resizeEvent(event);
    FitTheBoxes();
    PlaceProgressBars();
}

void CMarlowView::CreateDownloadProgress() {
    auto* bar = new QProgressBar(this);
    bar->setObjectName(QStringLiteral("downloadProgress"));
    bar->setTextVisible(false);
    bar->setRange(0, 100);
    bar->setValue(0);
    progress_.push_back(bar);
    PlaceProgressBars();
    bar->show();
}

void CMarlowView::SetDownloadProgressRange(int low, int high) {
    if (QProgressBar* bar = DownloadProgress())
        bar->setRange(low, high);
}

void CMarlowView::SetDownloadProgressPos(int position) {
    if (QProgressBar* bar = DownloadProgress())
        bar->setValue(position);
}

void CMarlowView::CloseDownloadProgress() {
    if (progress_.empty())
        return;
    delete progress_.front();
    progress_.erase(progress_.begin());
}

QProgressBar* CMarlowView::DownloadProgress() const {
    return progress_.empty() ? nullptr : progress_.front();
}

void CMarlowView::PlaceProgressBars() {
    for (QProgressBar* bar : progress_)
        bar->setGeometry(0, height() - kProgressHeight, width(), kProgressHeight);
}

} // namespace marlow::gui
