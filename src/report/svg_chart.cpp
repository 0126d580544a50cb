#include "report/svg_chart.h"

#include "report/page_text.h"

#include <algorithm>
#include <cmath>

namespace marlow::report {

namespace {

constexpr double kWidth = 760;
// Beyond this many times in a row only the box and the outliers are drawn:
// the dots would be a smear, and the page would grow without telling more.
constexpr std::size_t kMostDots = 400;

std::string N(double value) {
    return Fixed(value, 1);
}

std::string Open(const ChartText& text, double height) {
    return "<svg role=\"img\" viewBox=\"0 0 " + N(kWidth) + " " + N(height) + "\" width=\"" +
           N(kWidth) + "\" height=\"" + N(height) + "\" aria-labelledby=\"" + Html(text.id) +
           "-title " + Html(text.id) + "-desc\"><title id=\"" + Html(text.id) + "-title\">" +
           Html(text.title) + "</title><desc id=\"" + Html(text.id) + "-desc\">" + Html(text.desc) +
           "</desc>\n";
}

std::string Text(double x, double y, std::string_view text, const char* anchor = "start",
                 const char* cls = nullptr) {
    return "<text x=\"" + N(x) + "\" y=\"" + N(y) + "\" text-anchor=\"" + anchor + "\"" +
           (cls != nullptr ? std::string(" class=\"") + cls + "\"" : std::string()) + ">" +
           Html(text) + "</text>";
}

std::string Line(double x1, double y1, double x2, double y2, const char* cls) {
    return "<line x1=\"" + N(x1) + "\" y1=\"" + N(y1) + "\" x2=\"" + N(x2) + "\" y2=\"" + N(y2) +
           "\" class=\"" + cls + "\"/>";
}

// A shape with its tooltip, which a pointer shows and a screen reader reads.
std::string Rect(double x, double y, double w, double h, const char* cls, const std::string& tip) {
    return "<rect x=\"" + N(x) + "\" y=\"" + N(y) + "\" width=\"" + N(std::max(w, 0.0)) +
           "\" height=\"" + N(std::max(h, 0.0)) + "\" class=\"" + cls + "\"><title>" + Html(tip) +
           "</title></rect>";
}

std::string Dot(double x, double y, double r, const char* cls, const std::string& tip) {
    return "<circle cx=\"" + N(x) + "\" cy=\"" + N(y) + "\" r=\"" + N(r) + "\" class=\"" + cls +
           "\">" + (tip.empty() ? std::string() : "<title>" + Html(tip) + "</title>") + "</circle>";
}

// A round step (1, 2 or 5 times a power of ten) that cuts 0..max into
// about `ticks` parts.
double NiceStep(double max, int ticks) {
    if (max <= 0)
        return 1;
    const double raw = max / ticks;
    const double magnitude = std::pow(10.0, std::floor(std::log10(raw)));
    const double norm = raw / magnitude;
    return (norm <= 1 ? 1 : norm <= 2 ? 2 : norm <= 5 ? 5 : 10) * magnitude;
}

double Share(int part, int whole) {
    return whole == 0 ? 0.0 : static_cast<double>(part) / whole;
}

} // namespace

Spread SpreadOf(std::vector<double> values) {
    Spread spread;
    if (values.empty())
        return spread;
    std::sort(values.begin(), values.end());
    const auto at = [&](double fraction) {
        const double rank = fraction * static_cast<double>(values.size() - 1);
        const auto below = static_cast<std::size_t>(std::floor(rank));
        const std::size_t above = std::min(below + 1, values.size() - 1);
        return values[below] + (values[above] - values[below]) * (rank - std::floor(rank));
    };
    spread.count = values.size();
    spread.min = values.front();
    spread.max = values.back();
    spread.q1 = at(0.25);
    spread.median = at(0.5);
    spread.q3 = at(0.75);
    const double reach = 1.5 * (spread.q3 - spread.q1);
    spread.lowWhisker = *std::lower_bound(values.begin(), values.end(), spread.q1 - reach);
    spread.highWhisker =
        *std::prev(std::upper_bound(values.begin(), values.end(), spread.q3 + reach));
    return spread;
}

std::string YieldBarChart(const ChartText& text, const std::vector<YieldBar>& bars, int allUnits,
                          int allFirstPass) {
    constexpr double kLeft = 170;
    constexpr double kPlot = 430;
    constexpr double kRowHeight = 26;
    constexpr double kBarHeight = 16;
    constexpr double kTop = 26;
    const double bottom = kTop + kRowHeight * static_cast<double>(bars.size());
    const auto x = [&](double share) { return kLeft + kPlot * share; };
    std::string svg = Open(text, bottom + 30) + "<g class=\"axis\">";
    for (int percent = 0; percent <= 100; percent += 25) {
        svg += Line(x(percent / 100.0), kTop - 4, x(percent / 100.0), bottom, "grid");
        svg += Text(x(percent / 100.0), bottom + 16, std::to_string(percent) + "%", "middle");
    }
    svg += "</g>\n";
    const double all = Share(allFirstPass, allUnits);
    for (std::size_t i = 0; i < bars.size(); ++i) {
        const YieldBar& bar = bars[i];
        const double y = kTop + kRowHeight * static_cast<double>(i);
        const double share = Share(bar.firstPass, bar.units);
        const char* cls = share < all - 0.10 ? "bar bad" : share < all - 0.02 ? "bar low" : "bar";
        const std::string figures = Percent(bar.firstPass, bar.units) + " (" +
                                    std::to_string(bar.firstPass) + " of " +
                                    std::to_string(bar.units) + ")";
        svg += Text(kLeft - 8, y + kRowHeight / 2 + 4, bar.label, "end");
        svg += Rect(x(0), y + (kRowHeight - kBarHeight) / 2, kPlot * share, kBarHeight, cls,
                    bar.label + ": " + figures + " passed first time");
        svg += Text(x(1) + 8, y + kRowHeight / 2 + 4, figures) + "\n";
    }
    svg += Line(x(all), kTop - 8, x(all), bottom, "reference");
    svg += Text(std::min(x(all), x(1) - 40), kTop - 12, "all: " + Percent(allFirstPass, allUnits),
                "middle", "reference-label");
    return svg + "</svg>";
}

std::string PeriodColumnChart(const ChartText& text, const std::vector<PeriodColumn>& columns) {
    constexpr double kLeft = 48;
    constexpr double kRight = 12;
    constexpr double kTop = 22;
    constexpr double kPlotHeight = 170;
    const double plot = kWidth - kLeft - kRight;
    const double slot = plot / static_cast<double>(std::max<std::size_t>(columns.size(), 1));
    const double barWidth = std::max(1.0, slot * 0.72);
    int most = 0;
    for (const PeriodColumn& column : columns)
        most = std::max(most, column.units);
    const double step = std::max(1.0, std::ceil(NiceStep(most, 4)));
    const double axisMax = std::max(step, std::ceil(most / step) * step);
    const double base = kTop + kPlotHeight;
    const auto y = [&](double units) { return base - kPlotHeight * units / axisMax; };
    std::string svg = Open(text, base + 44) + "<g class=\"axis\">";
    for (double tick = 0; tick <= axisMax + 0.5; tick += step) {
        svg += Line(kLeft, y(tick), kLeft + plot, y(tick), "grid");
        svg += Text(kLeft - 6, y(tick) + 4, Fixed(tick, 0), "end");
    }
    // Labels far enough apart to be read: every `every`th column.
    std::size_t longest = 1;
    for (const PeriodColumn& column : columns)
        longest = std::max(longest, column.label.size());
    const auto every = static_cast<std::size_t>(
        std::max(1.0, std::ceil((7.0 * static_cast<double>(longest) + 8) / slot)));
    std::string lastGroup;
    for (std::size_t i = 0; i < columns.size(); ++i) {
        const double center = kLeft + slot * (static_cast<double>(i) + 0.5);
        if (i % every == 0)
            svg += Text(center, base + 14, columns[i].label, "middle");
        if (columns[i].group != lastGroup && (i % every == 0 || lastGroup.empty())) {
            svg += Text(center - slot / 2, base + 30, columns[i].group, "start");
            lastGroup = columns[i].group;
        }
    }
    svg += "</g>\n";
    for (std::size_t i = 0; i < columns.size(); ++i) {
        const PeriodColumn& column = columns[i];
        if (column.units == 0)
            continue;
        const double x = kLeft + slot * static_cast<double>(i) + (slot - barWidth) / 2;
        const std::string when = column.group + " " + column.label + ": ";
        svg += Rect(x, y(column.firstPass), barWidth, base - y(column.firstPass), "pass",
                    when + std::to_string(column.firstPass) + " of " +
                        std::to_string(column.units) + " units passed first time");
        svg += Rect(x, y(column.units), barWidth, y(column.firstPass) - y(column.units), "rest",
                    when + std::to_string(column.units - column.firstPass) +
                        " units did not pass first time");
        if (slot >= 28)
            svg += Text(x + barWidth / 2, y(column.units) - 4,
                        Fixed(100.0 * column.firstPass / column.units, 0) + "%", "middle",
                        "column-label");
        svg += "\n";
    }
    return svg + "</svg>";
}

std::string BoxPlotChart(const ChartText& text, const std::vector<BoxRow>& rows) {
    constexpr double kLeft = 170;
    constexpr double kRight = 40;
    constexpr double kRowHeight = 30;
    constexpr double kTop = 8;
    const double plot = kWidth - kLeft - kRight;
    double longest = 0;
    for (const BoxRow& row : rows)
        for (const TimeSample& sample : row.samples)
            longest = std::max(longest, sample.ms / 1000.0);
    const double step = NiceStep(longest, 6);
    const double axisMax = std::max(step, std::ceil(longest / step) * step);
    const int decimals = step >= 1 ? 0 : step >= 0.1 ? 1 : 2;
    const double bottom = kTop + kRowHeight * static_cast<double>(rows.size());
    const auto x = [&](double ms) { return kLeft + plot * ms / 1000.0 / axisMax; };
    std::string svg = Open(text, bottom + 32) + "<g class=\"axis\">";
    for (double tick = 0; tick <= axisMax + step / 2; tick += step) {
        svg += Line(x(tick * 1000), kTop, x(tick * 1000), bottom, "grid");
        svg += Text(x(tick * 1000), bottom + 16, Fixed(tick, decimals) + " s", "middle");
    }
    svg += "</g>\n";
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const BoxRow& row = rows[i];
        const double center = kTop + kRowHeight * (static_cast<double>(i) + 0.5);
        std::vector<double> values;
        for (const TimeSample& sample : row.samples)
            values.push_back(sample.ms);
        const Spread spread = SpreadOf(values);
        svg += Text(kLeft - 8, center + 4, row.label + (row.slow ? " (slow)" : ""), "end",
                    row.slow ? "slow-label" : nullptr);
        if (spread.count == 0)
            continue;
        if (row.samples.size() <= kMostDots)
            for (std::size_t k = 0; k < row.samples.size(); ++k)
                if (const double ms = row.samples[k].ms;
                    ms >= spread.lowWhisker && ms <= spread.highWhisker)
                    svg +=
                        Dot(x(ms), center + static_cast<double>(k * 7 % 11) - 5.0, 2.2, "dot", "");
        const char* box = row.slow ? "box slow" : "box";
        svg += Line(x(spread.lowWhisker), center, x(spread.q1), center, "whisker");
        svg += Line(x(spread.q3), center, x(spread.highWhisker), center, "whisker");
        svg += Line(x(spread.lowWhisker), center - 5, x(spread.lowWhisker), center + 5, "whisker");
        svg +=
            Line(x(spread.highWhisker), center - 5, x(spread.highWhisker), center + 5, "whisker");
        svg += Rect(x(spread.q1), center - 8, x(spread.q3) - x(spread.q1), 16, box,
                    row.label + ": median " + Duration(spread.median) + ", half the runs from " +
                        Duration(spread.q1) + " to " + Duration(spread.q3));
        svg += Line(x(spread.median), center - 8, x(spread.median), center + 8, "median");
        for (const TimeSample& sample : row.samples)
            if (sample.ms < spread.lowWhisker || sample.ms > spread.highWhisker)
                svg += Dot(x(sample.ms), center, 3.5, "outlier",
                           row.label + ": run " + sample.runId.substr(0, 8) + " took " +
                               Duration(sample.ms));
        svg += "\n";
    }
    return svg + "</svg>";
}

} // namespace marlow::report
