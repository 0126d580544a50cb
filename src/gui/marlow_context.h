#pragma once
// The program-wide state of one Marlow run, in one object the main window
// and its dialogs share: the settings, the trace printer and the three
// message windows' texts, the PDA download's shared flags, the debug port,
// and the few values start-up fixes for the rest of the run.

#include "app/app_settings.h"
#include "app/trace_printer.h"
#include "debugport/debug_port.h"
#include "gui/message_text.h"
#include "gui/window_arrangement.h"
#include "handset/handset_run.h"
#include "pda/pda_run_context.h"

#include <QSettings>
#include <atomic>
#include <functional>
#include <string>

namespace marlow::gui {

class MarlowContext {
public:
    // `store` holds the persistent settings and outlives the context.
    explicit MarlowContext(QSettings& store);
    MarlowContext(const MarlowContext&) = delete;
    MarlowContext& operator=(const MarlowContext&) = delete;

    QSettings& store;
    app::CAppSettings settings;
    app::TracePrinter printer;
    // The front panel's run context. In the main window: the settings each
    // handset's download copies as it starts, and whether any handset is
    // connected (each downloads with a context of its own).
    pda::PdaRunContext run;

    // Set while the port wait dialog is up: debug output then leaves the
    // focus where it is. Read by writers on any thread.
    std::atomic<bool> portWaitShown{false};
    // Whether the main window is the active window, for the download thread.
    std::atomic<bool> frameForeground{false};
    // The front panel's handset run: what follows its PDA download (the
    // main window keeps one per handset).
    handset::HandsetRun handset;
    // Download option flags; bit 2 is "Phone" (user-interface thread only).
    int optionFlags = 0;
    // The frame's client rectangle as start-up found it, and whether
    // start-up has finished (frame resizes re-arrange only after that).
    ClientRect layoutRect;
    bool layoutReady = false;

    MessageText fileInformation;
    MessageText debugMessage;
    MessageText deviceState;

    // Called on the user-interface thread whenever the port opens or closes,
    // and (posted) when its watch thread cannot be set up.
    std::function<void(bool open)> debugPortChanged;
    std::function<void(const std::string& text)> debugPortProblem;
    debugport::CDebugPort debugPort;

    bool PhoneOption() const;
    // Hands the operator's current choices to the PDA download.
    void SyncRunSettings();

    // `WritePrint` into a window, as it stands (no format).
    void Print(MessageText& window, std::string_view text) { printer.WritePrint(window, text); }
};

} // namespace marlow::gui
