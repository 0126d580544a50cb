#pragma once
// The unit row's columns in the order the queries read them and a record's
// rows are copied to the central database.

namespace marlow::records {

inline constexpr const char* kRunColumns =
    "run_id, station_id, slot, front_end, operator, marlow_version, kind, usb_path, "
    "serial_number, modem_port, started_ms, ended_ms, verdict, reason, error_class, "
    "failed_half, writer_host, writer_pid, writer_start";

} // namespace marlow::records
