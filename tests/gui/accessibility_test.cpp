// Every window as the accessibility bus sees it: each control has a name of
// its own, and the settings sheet's "Phone" option follows an accessible
// toggle, which sends no click.

#include "controls/port_wait_dialog.h"
#include "gui/about_dialog.h"
#include "gui/run_history_dialog.h"
#include "gui/sheet_binding.h"
#include "gui/station_setup_dialog.h"
#include "main_window_rig.h"
#include "pda/ui/config_sheet.h"
#include "pda/ui/download_page.h"
#include "stamp/ui/model_version_dialog.h"
#include "support/accessible_names.h"

#include <QAccessible>
#include <QAccessibleActionInterface>
#include <QCheckBox>
#include <QLabel>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace marlow::test {
namespace {

TEST(Accessibility, EveryControlHasANameOfItsOwnAndTogglesWork) {
    MainWindowRig rig;
    gui::MarlowContext& context = *rig.context;
    const gui::CMainFrame& frame = rig.Open();
    pda::ui::SheetEnvironment environment;
    environment.optionFlags = &context.optionFlags;
    environment.serialPorts = [] { return QStringList{"ttyS0"}; };
    pda::ui::CConfigSheet sheet(QStringLiteral("Settings"),
                                gui::SheetValuesOf(context.settings.Values()), environment);
    stamp::ui::CModelVersionDlg stampDialog([] {});
    gui::AboutDialog about;
    controls::CPortWaitDlg portWait;
    gui::RunHistoryDialog history(rig.store.Store().fileName().toStdString() + ".no-store",
                                  nullptr);
    gui::StationSetupDialog stationSetup(
        "station.conf", {{{"1", "1-1.1", station::SlotMode::Pda, "nk.bin", ""},
                          {"2", "1-1.2", station::SlotMode::Total, "quill_all.lst", ""}}});
    for (const QWidget* window : std::initializer_list<const QWidget*>{
             &frame, &sheet, &stampDialog, &about, &portWait, &history, &stationSetup})
        EXPECT_THAT(AccessibleNameProblems(*window), testing::IsEmpty())
            << window->windowTitle().toStdString();
    EXPECT_EQ(about.findChild<QLabel*>("aboutBuild")->text(), "BUILD 080118");

    QAccessibleInterface* box =
        QAccessible::queryAccessibleInterface(sheet.DownloadPage()->PhoneOption());
    ASSERT_TRUE(box && box->actionInterface());
    box->actionInterface()->doAction(QAccessibleActionInterface::toggleAction());
    EXPECT_EQ(context.optionFlags, pda::ui::kOptionPhone);
    box->actionInterface()->doAction(QAccessibleActionInterface::toggleAction());
    EXPECT_EQ(context.optionFlags, 0);
}

} // namespace
} // namespace marlow::test
