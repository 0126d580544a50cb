#pragma once
// The report's charts as inline SVG: real text for every label, a title and
// a description for screen readers (the figures themselves are in the table
// beside each chart), class names that the page's style sheet colours.
// Texts are given raw; the charts escape them.

#include <cstdint>
#include <string>
#include <vector>

namespace marlow::report {

// A chart's name (its <title>) and what it shows in words (its <desc>);
// `id` makes their element ids unique on the page.
struct ChartText {
    std::string id{};
    std::string title{};
    std::string desc{};
};

// One horizontal bar a group: first-pass yield from 0 to 100 %, with the
// whole population's yield as a dashed line. A bar well under the line is
// marked: 2 points under it amber, 10 points red.
struct YieldBar {
    std::string label{};
    int units = 0;
    int firstPass = 0;
};
std::string YieldBarChart(const ChartText& text, const std::vector<YieldBar>& bars, int allUnits,
                          int allFirstPass);

// One column a period: the units that passed first time at the bottom, the
// others on top, the period's yield above it where there is room. `group`
// (a day, a month) is written under the first column of each.
struct PeriodColumn {
    std::string label{};
    std::string group{};
    int units = 0;
    int firstPass = 0;
};
std::string PeriodColumnChart(const ChartText& text, const std::vector<PeriodColumn>& columns);

// Box plots on one time axis, a row a group: the box from the lower to the
// upper quartile with the median, whiskers to the last time within 1.5 box
// lengths, every time as a faint dot and those beyond the whiskers as red
// dots named by their run.
struct TimeSample {
    double ms = 0;
    std::string runId{};
};
struct BoxRow {
    std::string label{};
    std::vector<TimeSample> samples{};
    bool slow = false; // drawn apart: its median stands well above the others'
};
std::string BoxPlotChart(const ChartText& text, const std::vector<BoxRow>& rows);

// The five figures of a box plot, and the whiskers' ends.
struct Spread {
    std::size_t count = 0;
    double min = 0;
    double q1 = 0;
    double median = 0;
    double q3 = 0;
    double max = 0;
    double lowWhisker = 0;
    double highWhisker = 0;
};
// Quartiles by linear interpolation between the closest ranks.
Spread SpreadOf(std::vector<double> values);

} // namespace marlow::report
