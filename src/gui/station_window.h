#pragma once
// The station window (`marlow --station [station.conf]`, or the setting
// StartWindow=station): a tile per slot of the station file, the shift's
// counters, Start and Stop of the whole station, the selected slot's log
// and last record, and a status line with the central database's backlog
// and the status broker's connection where those are set. The station file
// is changed only through the setup view, and only while the station is
// stopped.
//
// The slots run in the station engine (`station::Station`), on threads of
// their own; their events are posted to this window's thread in the order
// they happened. A tile is repainted at most every kRepaintPeriod however
// fast its run reports, and the elapsed times tick once a second while a
// slot flashes; an idle window runs no timer.

#include "common/result.h"
#include "gui/station_tile.h"
#include "station/station_file.h"
#include "status/status_publisher.h"
#include "usb/device_source.h"

#include <QMainWindow>
#include <QTimer>

#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

class QLabel;
class QPlainTextEdit;
class QPushButton;
class QSettings;

namespace marlow::phone {
class PhoneLibrary;
}
namespace marlow::station {
class Station;
struct SlotEvent;
} // namespace marlow::station

namespace marlow::gui {

class WindowRecords;

inline constexpr std::chrono::milliseconds kRepaintPeriod{100};

struct StationWindowSetup {
    std::string stationPath{};              // the station file
    QSettings* store = nullptr;             // run records, the status broker, the PDA USB ids
    phone::PhoneLibrary* library = nullptr; // the modem's download library
    std::string libraryProblem{};           // why it did not load; empty when it did
    // The folder holding the device tree's sys/ and dev/; empty: the system's.
    std::string deviceTreeRoot{};
    std::chrono::seconds timeout{120}; // a run silent this long fails
    // Where handsets come from: this virtual bus socket alone when one is
    // named (rigs, the screenshots); otherwise the program's own sources
    // (libusb, and the virtual bus MARLOW_VIRTUAL_BUS names), or none when
    // `watchDevices` is off (start-up tests).
    std::string virtualBus{};
    bool watchDevices = true;
};

class StationWindow : public QMainWindow {
    Q_OBJECT
public:
    explicit StationWindow(StationWindowSetup setup, QWidget* parent = nullptr);
    ~StationWindow() override; // Stop()

    // Serves the slots of the station file as it stands now; the shift's
    // counters start again.
    void Start();
    // Every run still going ends stopped; the slots take no handset. Returns
    // at once; Start is offered again once the slots' threads have ended.
    void Stop();
    bool Running() const { return station_ != nullptr; }
    bool Stopping() const { return stopping_; }
    // The setup view over the station file (only while stopped).
    void OpenSetup();

    const std::vector<StationTile*>& Tiles() const { return tiles_; }
    QLabel* Counters() const { return counters_; }
    QPlainTextEdit* SlotLog() const { return log_; }
    QPlainTextEdit* LastRecord() const { return record_; }
    QLabel* ForwarderState() const { return forwarder_; }
    QLabel* BrokerState() const { return broker_; }
    QPushButton* StartButton() const { return start_; }
    QPushButton* StopButton() const { return stop_; }
    // Whether a repaint or the elapsed tick is due: false once the window
    // has nothing left to show.
    bool TimersRunning() const { return repaint_.isActive() || tick_.isActive(); }

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    struct SlotShown {
        TileView view{};
        std::chrono::steady_clock::time_point since{};
        QStringList log{};
        bool dirty = false;
    };

    void LoadStation();
    void Heard(const station::SlotEvent& event);
    void Log(SlotShown& slot, const QString& line);
    void MarkDirty(SlotShown& slot);
    void Repaint();
    void Tick();
    void Select(StationTile* tile);
    void ShowSelectedLog();
    void ShowSelectedRecord();
    void ShowCounters();
    void ShowForwarder();
    void ShowBroker(const status::PublisherStatus& status);
    void ShowButtons();

    StationWindowSetup setup_;
    station::StationFile file_;
    std::unique_ptr<WindowRecords> records_;
    std::unique_ptr<status::StatusPublisher> publisher_;
    std::unique_ptr<station::Station> station_;
    std::thread stopper_; // ends a stopped station's slots
    bool stopping_ = false;
    std::vector<std::unique_ptr<usb::DeviceSource>> sources_;

    std::map<QString, SlotShown> slots_;
    std::vector<StationTile*> tiles_;
    StationTile* selected_ = nullptr;
    QTimer repaint_;
    QTimer tick_;
    bool countersDirty_ = false;
    int passed_ = 0;
    int failed_ = 0;
    std::chrono::steady_clock::time_point shiftStart_{};

    QWidget* tileArea_ = nullptr;
    QLabel* counters_ = nullptr;
    QLabel* problem_ = nullptr;
    QLabel* forwarder_ = nullptr;
    QLabel* broker_ = nullptr;
    QPlainTextEdit* log_ = nullptr;
    QPlainTextEdit* record_ = nullptr;
    QPushButton* start_ = nullptr;
    QPushButton* stop_ = nullptr;
    QPushButton* setupButton_ = nullptr;
};

} // namespace marlow::gui
