#pragma once
// The main frame in front-panel mode: a window that is never shown and
// lives as long as the panel. It keeps the device sources (libusb, and the
// virtual bus), hands their arrivals and removals to the panel's run on the
// user-interface thread, in order, and owns the modem's library and port
// search for the panel's phone engine. When the panel ends, so does the
// program.

#include "gui/marlow_context.h"
#include "gui/program_phone.h"
#include "panel/front_panel_dialog.h"
#include "panel/panel_run.h"
#include "usb/device_source.h"

#include <QWidget>
#include <memory>
#include <vector>

namespace marlow::gui {

class WindowRecords;

class PanelFrame : public QWidget {
    Q_OBJECT
public:
    // `setup`'s flags are pointed at the context's run; the rest is kept.
    PanelFrame(MarlowContext& context, panel::PanelSetup setup = {});
    ~PanelFrame() override;

    // Begins listening for devices.
    void StartDeviceWatch();
    // A source the caller made (tests, extra buses); started at once.
    Status AddSource(std::unique_ptr<usb::DeviceSource> source);
    // Runs the panel modally; returns when it has ended.
    int Exec();

    panel::CFrontPanelDlg& Panel() { return *panel_; }
    panel::PanelRun& Run() { return *run_; }

private:
    usb::DeviceEvents EventsForSources();
    void StopWatch();

    MarlowContext& context_;
    ProgramPhone phone_;
    std::unique_ptr<panel::CFrontPanelDlg> panel_;
    std::unique_ptr<panel::PanelRun> run_;
    std::vector<std::unique_ptr<usb::DeviceSource>> sources_;
    std::unique_ptr<WindowRecords> records_;
};

} // namespace marlow::gui
