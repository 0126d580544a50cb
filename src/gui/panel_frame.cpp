#include "gui/panel_frame.h"

#include "gui/frame_devices.h"
#include "gui/window_records.h"
#include "records/run_writer.h"

#include <QMetaObject>

namespace marlow::gui {

PanelFrame::PanelFrame(MarlowContext& context, panel::PanelSetup setup)
    : context_(context), phone_(MakeProgramPhone(context.store, phone::kFrontPanelPortList)) {
    setup.flags.g_AllDownLoad = &context.handset.g_AllDownLoad;
    setup.flags.m_DownSelect = &context.handset.m_DownSelect;
    setup.flags.flashWriting = &context.run.flashWriting;
    if (!setup.store)
        setup.store = &context.store;
    panel_ = std::make_unique<panel::CFrontPanelDlg>(context.settings, std::move(setup), this);
    records_ = std::make_unique<WindowRecords>(context.store, "front panel");
    panel::PanelRunSetup run;
    run.context = &context.run;
    run.handset = &context.handset;
    run.library = phone_.library.get();
    run.ports = phone_.ports.get();
    run.stopWatch = [this] { StopWatch(); };
    run.phoneLibraryProblem = phone_.libraryProblem;
    run.records = {
        .mayStart = [this] { return records_->MayStartRun(); },
        .begin = [this](records::RunFacts facts) { return records_->Begin(std::move(facts)); }};
    run_ = std::make_unique<panel::PanelRun>(*panel_, context.settings, std::move(run));
    if (!phone_.libraryProblem.empty())
        panel_->Log(QString::fromLocal8Bit(phone_.libraryProblem));
}

// The sources stop reporting first; then the downloads stop, then the panel goes.
PanelFrame::~PanelFrame() {
    records_->Stop();
    StopWatch();
    run_.reset();
    panel_.reset();
}

usb::DeviceEvents PanelFrame::EventsForSources() {
    usb::DeviceEvents events;
    events.arrived = [this](std::unique_ptr<usb::UsbTransport> transport) {
        // Qt copies queued functors; the transport rides in a shared holder.
        auto holder = std::make_shared<std::unique_ptr<usb::UsbTransport>>(std::move(transport));
        QMetaObject::invokeMethod(
            this, [this, holder] { run_->DeviceArrived(std::move(*holder)); },
            Qt::QueuedConnection);
    };
    events.removed = [this](const std::string& devicePath) {
        QMetaObject::invokeMethod(
            this, [this, devicePath] { run_->DeviceRemoved(devicePath); }, Qt::QueuedConnection);
    };
    // Devices refused or cut off: the panel's log is where they are read.
    events.problem = [this](const std::string& text) {
        QMetaObject::invokeMethod(
            this, [this, text] { panel_->Log(QString::fromLocal8Bit(text)); },
            Qt::QueuedConnection);
    };
    // Left alone until it is plugged in again: the panel flashes only the
    // handsets that arrive while it runs.
    events.alreadyAttached = [this](const std::string& description) {
        const QString text = QStringLiteral("Already connected at start, left alone: ") +
                             QString::fromLocal8Bit(description);
        QMetaObject::invokeMethod(
            this, [this, text] { panel_->Log(text); }, Qt::QueuedConnection);
    };
    return events;
}

void PanelFrame::StartDeviceWatch() {
    auto started = StartDeviceSources(
        context_.store, [this] { return EventsForSources(); },
        [this](const QString& text, bool) { panel_->Log(text); });
    for (auto& source : started)
        sources_.push_back(std::move(source));
}

Status PanelFrame::AddSource(std::unique_ptr<usb::DeviceSource> source) {
    Status started = source->Start(EventsForSources());
    if (started)
        sources_.push_back(std::move(source));
    return started;
}

void PanelFrame::StopWatch() {
    for (auto& source : sources_)
        source->Stop();
    sources_.clear();
}

int PanelFrame::Exec() {
    return panel_->exec();
}

} // namespace marlow::gui
