#pragma once
// The front panel's view on its widgets: each word of a run goes to its
// control. Texts arrive as the program's single-byte texts. User-interface
// thread only: the skin that drives it posts there first.

#include "skins/front_panel_view.h"

namespace marlow::panel {

class CFrontPanelDlg;

class FrontPanelWidgetView : public FrontPanelView {
public:
    explicit FrontPanelWidgetView(CFrontPanelDlg& panel) : panel_(panel) {}

    void Status(std::string_view text) override;
    void Percent(std::string_view text) override;
    void CurrentFile(std::string_view text) override;
    void Counter(std::string_view text) override;
    void ProgressRange(int low, int high) override;
    void Progress(int position) override;
    void EnableStop() override;
    void EnableDownStart() override;
    void Log(std::string_view text) override;
    void ClearLog() override;
    void MessageBox(std::string_view text, std::string_view caption) override;
    void TwoLineMessage(std::string_view first, std::string_view second,
                        std::uint32_t colour) override;
    void RunEnded(const RunFinished& finished) override;

private:
    CFrontPanelDlg& panel_;
};

} // namespace marlow::panel
