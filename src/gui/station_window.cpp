#include "gui/station_window.h"

#include "controls/dialog_service.h"
#include "controls/readout_label.h"
#include "gui/frame_devices.h"
#include "gui/run_history_dialog.h"
#include "gui/station_setup_dialog.h"
#include "gui/window_records.h"
#include "phone/usb_tty_paths.h"
#include "records/run_queries.h"
#include "records/store.h"
#include "station/station_run.h"
#include "status/broker_settings.h"
#include "usb/virtual_bus_source.h"

#include <QCloseEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QSettings>
#include <QSplitter>
#include <QStatusBar>
#include <QTime>
#include <QVBoxLayout>

#include <cmath>

namespace marlow::gui {

namespace {

// A slot's log keeps its last lines; older ones are in its records.
constexpr qsizetype kLogLines = 200;

QString Q(const std::string& text) {
    return QString::fromStdString(text);
}

TileState StateOf(Verdict verdict) {
    switch (verdict) {
    case Verdict::Passed:
        return TileState::Passed;
    case Verdict::Failed:
        return TileState::Failed;
    case Verdict::DeviceRemoved:
        return TileState::Removed;
    case Verdict::Stopped:
        break;
    }
    return TileState::Stopped;
}

// Eight slots in two rows of four; up to four in one row.
int ColumnsFor(std::size_t count) {
    return count <= 4 ? static_cast<int>(std::max<std::size_t>(count, 1))
                      : static_cast<int>(std::min<std::size_t>((count + 1) / 2, 6));
}

} // namespace

StationWindow::StationWindow(StationWindowSetup setup, QWidget* parent)
    : QMainWindow(parent), setup_(std::move(setup)) {
    setWindowTitle(QStringLiteral("Marlow Station"));
    if (setup_.deviceTreeRoot.empty())
        setup_.deviceTreeRoot = phone::DeviceTreeRoot();
    records_ = std::make_unique<WindowRecords>(*setup_.store, "station window");
    if (const status::BrokerSettings broker = status::ReadBrokerSettings(*setup_.store);
        !broker.address.empty()) {
        QPointer<StationWindow> self(this);
        Result<std::unique_ptr<status::StatusPublisher>> started = status::StatusPublisher::Start(
            {.broker = broker,
             .station = records_->StationId(),
             .statusChanged = [self](const status::PublisherStatus& status) {
                 if (self)
                     QMetaObject::invokeMethod(
                         self.data(),
                         [self, status] {
                             if (self)
                                 self->ShowBroker(status);
                         },
                         Qt::QueuedConnection);
             }});
        if (started)
            publisher_ = std::move(*started);
        else
            ShowBroker({.lastError = started.Error()});
    }

    auto* central = new QWidget(this);
    auto* layout = new QVBoxLayout(central);
    auto* top = new QHBoxLayout;
    start_ = new QPushButton(QStringLiteral("&Start"), central);
    stop_ = new QPushButton(QStringLiteral("S&top"), central);
    setupButton_ = new QPushButton(QStringLiteral("Station &Setup..."), central);
    counters_ = new QLabel(central);
    controls::MakeReadout(*counters_, QStringLiteral("Shift"));
    QFont big = counters_->font();
    big.setPointSizeF(big.pointSizeF() * 1.6);
    big.setBold(true);
    counters_->setFont(big);
    top->addWidget(start_);
    top->addWidget(stop_);
    top->addWidget(setupButton_);
    top->addSpacing(24);
    top->addWidget(counters_, 1);
    layout->addLayout(top);
    tileArea_ = new QWidget(central);
    layout->addWidget(tileArea_, 3);
    auto* details = new QSplitter(Qt::Horizontal, central);
    log_ = new QPlainTextEdit(details);
    log_->setReadOnly(true);
    log_->setAccessibleName(QStringLiteral("Slot log"));
    log_->setPlaceholderText(QStringLiteral("Select a slot (Tab, or a click) to see its log."));
    record_ = new QPlainTextEdit(details);
    record_->setReadOnly(true);
    record_->setAccessibleName(QStringLiteral("Last record"));
    record_->setPlaceholderText(QStringLiteral("The selected slot's last record."));
    layout->addWidget(details, 1);
    setCentralWidget(central);

    problem_ = new QLabel(this);
    controls::MakeReadout(*problem_, QStringLiteral("Station status"));
    forwarder_ = new QLabel(this);
    controls::MakeReadout(*forwarder_, QStringLiteral("Central database"));
    broker_ = new QLabel(this);
    controls::MakeReadout(*broker_, QStringLiteral("Status broker"));
    statusBar()->addWidget(problem_, 1);
    statusBar()->addPermanentWidget(forwarder_);
    statusBar()->addPermanentWidget(broker_);
    forwarder_->setVisible(records_->Forwarding());
    broker_->setVisible(publisher_ != nullptr || !broker_->text().isEmpty());
    if (publisher_)
        ShowBroker(publisher_->Status());
    connect(records_.get(), &WindowRecords::forwarderChanged, this, &StationWindow::ShowForwarder);
    ShowForwarder();

    repaint_.setSingleShot(true);
    repaint_.setInterval(kRepaintPeriod);
    connect(&repaint_, &QTimer::timeout, this, &StationWindow::Repaint);
    tick_.setInterval(std::chrono::seconds(1));
    connect(&tick_, &QTimer::timeout, this, &StationWindow::Tick);
    connect(start_, &QPushButton::clicked, this, &StationWindow::Start);
    connect(stop_, &QPushButton::clicked, this, &StationWindow::Stop);
    connect(setupButton_, &QPushButton::clicked, this, &StationWindow::OpenSetup);
    if (!setup_.libraryProblem.empty())
        controls::SetReadout(*problem_, QString::fromLocal8Bit(setup_.libraryProblem));
    LoadStation();
    ShowButtons();
}

StationWindow::~StationWindow() {
    Stop();
    if (stopper_.joinable())
        stopper_.join();
    publisher_.reset();
    records_->Stop();
}

void StationWindow::closeEvent(QCloseEvent* event) {
    Stop();
    event->accept();
}

// The tiles of the station file as it stands; a file that cannot be read
// leaves none, with the reason, and the setup view to mend it.
void StationWindow::LoadStation() {
    qDeleteAll(tileArea_->findChildren<StationTile*>(Qt::FindDirectChildrenOnly));
    delete tileArea_->layout();
    tiles_.clear();
    slots_.clear();
    selected_ = nullptr;
    Result<station::StationFile> read = station::ReadStationFile(setup_.stationPath);
    file_ = read ? *read : station::StationFile{};
    if (!read)
        controls::SetReadout(*problem_, Q(read.Error()));
    auto* grid = new QGridLayout(tileArea_);
    const int columns = ColumnsFor(file_.slotList.size());
    QWidget* previous = setupButton_;
    for (const station::StationSlot& slot : file_.slotList) {
        auto* tile = new StationTile(Q(slot.name), tileArea_);
        const int index = static_cast<int>(tiles_.size());
        grid->addWidget(tile, index / columns, index % columns);
        setTabOrder(previous, tile);
        previous = tile;
        tiles_.push_back(tile);
        slots_[tile->Slot()] = {};
        connect(tile, &StationTile::selected, this, [this, tile] { Select(tile); });
    }
    setTabOrder(previous, log_);
    setTabOrder(log_, record_);
    ShowCounters();
}

void StationWindow::Start() {
    if (station_ || stopping_)
        return;
    if (stopper_.joinable())
        stopper_.join();
    if (const Status may = records_->MayStartRun(); !may) {
        controls::SetReadout(*problem_, Q(may.Error()));
        return;
    }
    LoadStation();
    if (file_.slotList.empty())
        return;
    passed_ = failed_ = 0;
    shiftStart_ = std::chrono::steady_clock::now();
    QPointer<StationWindow> self(this);
    Result<std::unique_ptr<station::Station>> running = station::Station::Start(
        {.station = file_,
         .stationId = records_->StationId(),
         .frontEnd = "station window",
         .library = setup_.library,
         .writer = records_->Writer(),
         .publisher = publisher_.get(),
         .deviceTreeRoot = setup_.deviceTreeRoot,
         .timeout = setup_.timeout,
         // Posted from the slots' threads one at a time, so they arrive in order.
         .events = [self](const station::SlotEvent& event) {
             QMetaObject::invokeMethod(
                 self.data(),
                 [self, event] {
                     if (self)
                         self->Heard(event);
                 },
                 Qt::QueuedConnection);
         }});
    if (!running) {
        controls::SetReadout(*problem_, Q(running.Error()));
        return;
    }
    station_ = std::move(*running);
    const usb::DeviceEvents handlers = station_->Handlers();
    if (!setup_.virtualBus.empty()) {
        auto bus = std::make_unique<usb::VirtualBusSource>(setup_.virtualBus);
        if (const Status started = bus->Start(handlers); !started)
            controls::SetReadout(*problem_, Q(started.Error()));
        else
            sources_.push_back(std::move(bus));
    } else if (setup_.watchDevices) {
        sources_ = StartDeviceSources(
            *setup_.store, [handlers] { return handlers; },
            [this](const QString& text, bool) { controls::SetReadout(*problem_, text); });
    }
    controls::SetReadout(*problem_, QStringLiteral("Station started: %1 slots from %2")
                                        .arg(file_.slotList.size())
                                        .arg(Q(setup_.stationPath)));
    ShowButtons();
}

void StationWindow::Stop() {
    if (!station_)
        return;
    // No more arrivals; then every slot's run ends and its thread with it,
    // its record waited for (bounded). That waiting is done on a thread of
    // its own: the window goes on painting the runs' last events meanwhile.
    for (const auto& source : sources_)
        source->Stop();
    sources_.clear();
    if (stopper_.joinable())
        stopper_.join();
    stopping_ = true;
    controls::SetReadout(*problem_, QStringLiteral("Stopping the station..."));
    QPointer<StationWindow> self(this);
    stopper_ = std::thread([station = std::move(station_), self]() mutable {
        station->Stop();
        station.reset();
        QMetaObject::invokeMethod(
            self.data(),
            [self] {
                if (!self)
                    return;
                self->stopping_ = false;
                controls::SetReadout(*self->problem_, QStringLiteral("Station stopped"));
                self->ShowButtons();
            },
            Qt::QueuedConnection);
    });
    ShowButtons();
}

void StationWindow::OpenSetup() {
    if (station_ || stopping_)
        return;
    StationSetupDialog dialog(setup_.stationPath, file_, this);
    if (dialog.exec() == QDialog::Accepted)
        LoadStation();
}

void StationWindow::Heard(const station::SlotEvent& event) {
    using station::SlotEventKind;
    const auto found = slots_.find(Q(event.slot));
    if (found == slots_.end()) {
        controls::SetReadout(*problem_, QStringLiteral("Not served: ") + Q(event.text));
        return;
    }
    SlotShown& slot = found->second;
    TileView& view = slot.view;
    switch (event.kind) {
    case SlotEventKind::NotServed:
        Log(slot, QStringLiteral("not served: ") + Q(event.text));
        break;
    case SlotEventKind::Started:
        view = {.state = TileState::Flashing, .verdict = TileState::Flashing};
        slot.since = std::chrono::steady_clock::now();
        Log(slot, QStringLiteral("handset on port ") + Q(event.port));
        if (!tick_.isActive())
            tick_.start();
        break;
    case SlotEventKind::Progress:
        if (Q(event.file) != view.file)
            Log(slot, QStringLiteral("sending ") + Q(event.file));
        view.file = Q(event.file);
        view.percent = event.percent;
        break;
    case SlotEventKind::Finished:
        view.state = view.verdict = StateOf(event.finished.verdict);
        view.elapsedSeconds =
            std::chrono::duration_cast<std::chrono::seconds>(event.elapsed).count();
        Log(slot,
            QString::fromLatin1(TileStateName(view.state)) +
                (event.finished.reason.empty() ? QString()
                                               : QStringLiteral(": ") + Q(event.finished.reason)));
        if (event.finished.verdict != Verdict::Stopped) {
            ++(event.finished.verdict == Verdict::Passed ? passed_ : failed_);
            countersDirty_ = true;
        }
        break;
    case SlotEventKind::Ready:
        // The verdict stays until the next handset; the last run's file
        // and bar go with its handset.
        view.state = TileState::Waiting;
        view.file.clear();
        view.percent = 0;
        Log(slot, QStringLiteral("handset left; ready"));
        if (selected_ != nullptr && selected_->Slot() == found->first)
            ShowSelectedRecord();
        break;
    }
    MarkDirty(slot);
}

void StationWindow::Log(SlotShown& slot, const QString& line) {
    slot.log << QTime::currentTime().toString(QStringLiteral("HH:mm:ss ")) + line;
    if (slot.log.size() > kLogLines)
        slot.log.removeFirst();
}

void StationWindow::MarkDirty(SlotShown& slot) {
    slot.dirty = true;
    if (!repaint_.isActive())
        repaint_.start();
}

// Everything that changed since the last repaint, at once.
void StationWindow::Repaint() {
    const auto now = std::chrono::steady_clock::now();
    for (StationTile* tile : tiles_) {
        SlotShown& slot = slots_[tile->Slot()];
        if (!slot.dirty)
            continue;
        slot.dirty = false;
        if (slot.view.state == TileState::Flashing)
            slot.view.elapsedSeconds =
                std::chrono::duration_cast<std::chrono::seconds>(now - slot.since).count();
        tile->Show(slot.view);
        if (tile == selected_)
            ShowSelectedLog();
    }
    if (countersDirty_)
        ShowCounters();
}

// A second has passed: the flashing slots' times move on; with none left
// flashing the tick stops.
void StationWindow::Tick() {
    bool flashing = false;
    for (auto& [name, slot] : slots_)
        if (slot.view.state == TileState::Flashing) {
            flashing = true;
            slot.dirty = true;
        }
    countersDirty_ = true;
    Repaint();
    if (!flashing)
        tick_.stop();
}

void StationWindow::Select(StationTile* tile) {
    if (selected_ == tile)
        return;
    if (selected_ != nullptr)
        selected_->SetSelected(false);
    selected_ = tile;
    tile->SetSelected(true);
    ShowSelectedLog();
    ShowSelectedRecord();
}

void StationWindow::ShowSelectedLog() {
    if (selected_ == nullptr)
        return;
    log_->setPlainText(slots_[selected_->Slot()].log.join(QLatin1Char('\n')));
    log_->moveCursor(QTextCursor::End);
}

// The selected slot's newest record in the store, as Run History shows it.
void StationWindow::ShowSelectedRecord() {
    if (selected_ == nullptr)
        return;
    Result<std::unique_ptr<records::RunStore>> store = records::RunStore::Open(
        {.path = records_->StorePath(), .access = records::StoreAccess::Query});
    if (!store) {
        record_->setPlainText(Q(store.Error()));
        return;
    }
    const Result<std::vector<records::RunRecord>> runs = records::FindRuns(
        (*store)->Session(),
        {.slot = selected_->Slot().toStdString(), .station = records_->StationId()},
        records::Detail::Steps);
    if (!runs)
        record_->setPlainText(Q(runs.Error()));
    else if (runs->empty())
        record_->setPlainText(QStringLiteral("No record of slot %1 yet.").arg(selected_->Slot()));
    else
        record_->setPlainText(RecordDetails(runs->back()));
}

void StationWindow::ShowCounters() {
    countersDirty_ = false;
    const int units = passed_ + failed_;
    const double hours = std::chrono::duration<double, std::ratio<3600>>(
                             std::chrono::steady_clock::now() - shiftStart_)
                             .count();
    const QString yield =
        units > 0 ? QString::number(100.0 * passed_ / units, 'f', 1) + " %" : QStringLiteral("-");
    const QString perHour = units > 0 && station_ && hours > 0
                                ? QString::number(std::lround(units / hours))
                                : QStringLiteral("-");
    controls::SetReadout(*counters_,
                         QStringLiteral("Passed %1    Failed %2    First-pass yield %3    "
                                        "Units per hour %4")
                             .arg(passed_)
                             .arg(failed_)
                             .arg(yield, perHour));
}

void StationWindow::ShowForwarder() {
    forwarder_->setVisible(records_->Forwarding());
    if (!records_->Forwarding())
        return;
    const records::ForwarderStatus status = records_->ForwarderStatus();
    QString text = QStringLiteral("Central database: %1 waiting").arg(status.backlog);
    if (!status.lastError.empty())
        text += QStringLiteral("; last error: ") + Q(status.lastError);
    controls::SetReadout(*forwarder_, text);
}

void StationWindow::ShowBroker(const status::PublisherStatus& status) {
    broker_->setVisible(true);
    controls::SetReadout(*broker_, status.connected
                                       ? QStringLiteral("Status broker: connected")
                                       : QStringLiteral("Status broker: not connected") +
                                             (status.lastError.empty()
                                                  ? QString()
                                                  : QStringLiteral(" (") + Q(status.lastError) +
                                                        QStringLiteral(")")));
}

void StationWindow::ShowButtons() {
    start_->setEnabled(!station_ && !stopping_);
    stop_->setEnabled(station_ != nullptr);
    setupButton_->setEnabled(!station_ && !stopping_);
}

} // namespace marlow::gui
