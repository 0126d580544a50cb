#pragma once
// The run report as one self-contained HTML page: its style sheet and its
// charts (SVG) inline, no script, no font or picture from elsewhere, so it
// can be mailed, archived and opened without a network, and printed. Every
// chart has its numbers in a table beside it. Texts from the records are
// escaped.

#include "report/report_data.h"

#include <QTimeZone>

#include <cstdint>
#include <string>

namespace marlow::report {

struct PageOptions {
    QTimeZone zone = QTimeZone::systemTimeZone(); // the times shown are local to it
    std::int64_t madeMs = 0;                      // when the report was made
    std::string version{};                        // Marlow's
};

// The page; one that says there is nothing to report when no run matched.
std::string HtmlReport(const ReportData& data, const PageOptions& options);

} // namespace marlow::report
