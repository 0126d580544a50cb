#pragma once
// What the download engines may change on the main window besides the
// message texts: the status bar, the Device State window's progress bar, the
// flash-write wait box and message boxes. User-interface thread only; the
// presentations post to it.

#include <QString>

namespace marlow::gui {

class FrameSurface {
public:
    virtual ~FrameSurface() = default;
    virtual void SetStatusText(const QString& text) = 0;
    virtual void CreateDeviceStateProgress(int low, int high) = 0;
    virtual void SetDeviceStateProgress(int position) = 0;
    virtual void CloseDeviceStateProgress() = 0;
    virtual void ShowFlashWaitBox() = 0;
    virtual void CloseFlashWaitBox() = 0;
    virtual void ShowMessage(const QString& text, const QString& caption) = 0;
};

} // namespace marlow::gui
