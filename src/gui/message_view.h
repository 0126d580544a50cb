#pragma once
// `CMarlowView`: one message window's text pane. Read-only, wrapping, bold
// (smaller only where the window is too narrow for the boxes it shows);
// it shows its MessageText and carries the progress bar that downloads put
// at its bottom. Typed characters never edit it: the Debug Message window
// hands them to the debug console, the others swallow them.

#include "gui/message_text.h"

#include <QPlainTextEdit>
#include <functional>
#include <vector>

class QProgressBar;

namespace marlow::gui {

class CMarlowView : public QPlainTextEdit {
    Q_OBJECT
public:
    // `text` outlives the view; the view installs itself as its receiver.
    CMarlowView(MessageText& text, bool pagingKeys, QWidget* parent = nullptr);
    ~CMarlowView() override;

    MessageText& Text() { return text_; }

    // Every typed character, for the window that wants them.
    std::function<void(char)> onCharacter;

    // The progress bar at the bottom (user-interface thread). A second
    // Create while one exists adds another; the others act on the first.
    void CreateDownloadProgress();
    void SetDownloadProgressRange(int low, int high);
    void SetDownloadProgressPos(int position);
    void CloseDownloadProgress();
    QProgressBar* DownloadProgress() const;

signals:
    // `WM_ACTIVATE_MESSAGE_WINDOW`: the window wants to come to the front.
    void activationRequested();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void ApplyEdit(const DisplayEdit& edit);
    void Resynchronize();
    void FollowTheEnd();
    // True when `text` holds a box line wider than any before.
    bool NoteBoxLines(const QString& text);
    void FitTheBoxes();
    void KeepToTheEnd();
    void PlaceProgressBars();

    MessageText& text_;
    bool pagingKeys_;
    // The pane keeps its last line in sight until the operator scrolls away
    // from the end, and again once they scroll back to it.
    bool followEnd_ = true;
    bool adjusting_ = false;
    QString widestBox_;
    std::vector<QProgressBar*> progress_;
};

} // namespace marlow::gui
