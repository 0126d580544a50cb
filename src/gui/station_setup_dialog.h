#pragma once
// The station window's setup view: the station file's slots in a table
// (name, USB port path, mode, PDA list or image, phone package), slots
// added and removed, and the file written back only when every slot's
// files fit its mode. The only place the window changes the station file.

#include "station/station_file.h"

#include <QDialog>

#include <string>

class QTableWidget;

namespace marlow::gui {

class StationSetupDialog : public QDialog {
    Q_OBJECT
public:
    StationSetupDialog(std::string path, const station::StationFile& file,
                       QWidget* parent = nullptr);

    QTableWidget* Table() const { return table_; }
    // The station the table shows now.
    station::StationFile Edited() const;
    // Why the table cannot be written, as the station file's reader says
    // it (a slot without a port, a name or a port twice, files that do not
    // fit a mode); empty when it can.
    std::string Problem() const;
    void accept() override;

private:
    void AddRow(const station::StationSlot& slot);

    std::string path_;
    QTableWidget* table_;
};

} // namespace marlow::gui
