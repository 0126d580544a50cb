#pragma once
// The PDA download's receiver in the GUI. Events come on the download
// thread (and the watcher's); each is posted to the user-interface thread
// in order, so the download thread never waits for the UI thread (which may
// itself be waiting for it). There, a main-window run goes through the
// main-window skin into the window's widgets; a front-panel run's events go
// to the panel's receiver.

#include "gui/window_main_view.h"
#include "pda/pda_events.h"
#include "skins/main_window_skin.h"

#include <QObject>
#include <QPointer>
#include <functional>

namespace marlow::gui {

class WindowPdaEvents : public pda::PdaEventSink {
public:
    // `receiver` lives on the user-interface thread and dies with `surface`.
    WindowPdaEvents(MarlowContext& context, FrameSurface& surface, QObject& receiver);

    void Post(const pda::PdaEvent& event) override;

    // The view, for the window's own notes (user-interface thread).
    app::MainWindowView& View() { return view_; }
    // Where a front-panel run's events go (user-interface thread); unset:
    // nowhere.
    std::function<void(const pda::PdaEvent&)> panelEvents;
    // Where a main-window run's events are recorded (user-interface
    // thread), besides being shown.
    std::function<void(const pda::PdaEvent&)> recordEvents;

private:
    void Show(const pda::PdaEvent& event);

    MarlowContext& context_;
    QPointer<QObject> receiver_;
    WindowMainView view_;
    app::MainWindowSkin skin_{view_};
};

} // namespace marlow::gui
