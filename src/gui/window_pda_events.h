#pragma once
// The PDA download's receiver in the main window. Events come on the
// download threads (and the watcher's); each is posted to the
// user-interface thread in order, so a download thread never waits for the
// UI thread (which may itself be waiting for it). There they go through the
// main-window skin into the window's widgets, and each handset's events
// into that handset's record.

#include "gui/window_main_view.h"
#include "pda/pda_events.h"
#include "skins/main_window_skin.h"

#include <QObject>
#include <QPointer>
#include <functional>
#include <map>
#include <memory>
#include <string>

namespace marlow::gui {

class WindowPdaEvents : public pda::PdaEventSink {
public:
    // `receiver` lives on the user-interface thread and dies with `surface`.
    WindowPdaEvents(MarlowContext& context, FrameSurface& surface, QObject& receiver);
    ~WindowPdaEvents() override;

    // The window's own events, of no handset (a command refused while none
    // is connected): shown only.
    void Post(const pda::PdaEvent& event) override;
    // Where the handset at `devicePath` posts (user-interface thread). The
    // sink lives as long as this object, so a download may keep it.
    pda::PdaEventSink& For(const std::string& devicePath);

    // A handset's event heard on the user-interface thread (its run's
    // stream): shown and recorded at once, as posted ones are in turn.
    void ShowFor(const std::string& devicePath, const pda::PdaEvent& event);
    // The view, for the window's own notes (user-interface thread).
    app::MainWindowView& View() { return view_; }
    // Where a handset's events are recorded (user-interface thread),
    // besides being shown.
    std::function<void(const std::string& devicePath, const pda::PdaEvent&)> recordEvents;

private:
    class HandsetSink;
    void Forward(const std::string& devicePath, const pda::PdaEvent& event);
    void Show(const std::string& devicePath, const pda::PdaEvent& event);

    MarlowContext& context_;
    QPointer<QObject> receiver_;
    WindowMainView view_;
    app::MainWindowSkin skin_{view_};
    std::map<std::string, std::unique_ptr<HandsetSink>> handsets_;
};

} // namespace marlow::gui
