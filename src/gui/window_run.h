#pragma once
// A handset's whole run as the main window hears it, on the user-interface
// thread: the PDA half's events shown as the window's own and recorded, the
// phone half's recorded (the window's phone engine shows them as it says
// them), and the end, which ends a record its halves' events did not end.
// The device watcher tells the window its steps itself.

#include "handset/whole_run.h"
#include "records/handset_recording.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace marlow::gui {

class WindowRun final : public handset::HandsetEventSink {
public:
    // `showPda` shows a PDA event as the window's own (none for a phone-only
    // run); `modemPort` says which port the window's phone engine took.
    WindowRun(std::string devicePath, std::function<void(const pda::PdaEvent&)> showPda,
              std::function<phone::ModemPort()> modemPort);
    void Post(const handset::HandsetEvent& event) override;

    // In its PDA half: the handset's downloads go to it.
    bool Downloading() const { return whole && !whole->Finished() && !whole->InPhoneHalf(); }
    // Its end has not been told yet.
    bool Going() const { return whole && !finished; }

    const std::string devicePath; // empty for a phone-only run
    std::unique_ptr<records::HandsetRecording> record =
        std::make_unique<records::HandsetRecording>();
    std::unique_ptr<handset::WholeRun> whole;
    std::optional<handset::RunFinished> finished;

private:
    void Ended(const handset::RunFinished& whole);

    std::function<void(const pda::PdaEvent&)> showPda_;
    std::function<phone::ModemPort()> modemPort_;
};

} // namespace marlow::gui
