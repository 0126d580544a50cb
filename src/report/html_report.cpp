#include "report/html_report.h"

#include "report/page_text.h"
#include "report/svg_chart.h"

#include <QDateTime>

#include <algorithm>
#include <limits>
#include <map>
#include <tuple>

namespace marlow::report {

namespace {

using records::YieldRow;

// A slot is this much slower than the rest when its median step time is
// that far above the median of every slot's runs together.
constexpr double kSlowFactor = 1.2;
// A slot's yield is low this far under all slots' together.
constexpr double kLowYield = 0.02;

constexpr const char* kStyle = R"(
:root { color-scheme: light; }
body { font: 14px/1.45 system-ui, "Segoe UI", Roboto, "DejaVu Sans", sans-serif; color: #1d232a;
       background: #fff; max-width: 1000px; margin: 0 auto; padding: 24px; }
h1 { font-size: 26px; margin: 0 0 4px; }
h2 { font-size: 19px; margin: 36px 0 8px; padding-bottom: 4px; border-bottom: 2px solid #e3e7ec; }
h3 { font-size: 15px; margin: 20px 0 4px; }
.lead { font-size: 16px; margin: 0 0 12px; }
dl.facts { display: grid; grid-template-columns: max-content 1fr; gap: 2px 14px; margin: 0; }
dl.facts dt { color: #56606b; } dl.facts dd { margin: 0; overflow-wrap: anywhere; }
ul.totals { display: flex; flex-wrap: wrap; gap: 12px; list-style: none; padding: 0; margin: 18px 0; }
ul.totals li { border: 1px solid #d5dbe1; border-radius: 6px; padding: 8px 14px; min-width: 140px; }
.k { display: block; color: #56606b; font-size: 12px; text-transform: uppercase; letter-spacing: .04em; }
.v { display: block; font-size: 26px; font-weight: 600; }
.s { display: block; color: #56606b; font-size: 12px; }
nav a { margin-right: 14px; color: #1f5f99; }
figure { margin: 10px 0 4px; } figcaption { color: #56606b; font-size: 12px; }
svg { max-width: 100%; height: auto; }
svg text { font-size: 12px; fill: #1d232a; }
.axis text { font-size: 11px; fill: #56606b; } .grid { stroke: #e3e7ec; }
.bar { fill: #2a7f62; } .bar.low { fill: #d08a00; } .bar.bad { fill: #c23b22; }
.reference { stroke: #1d232a; stroke-dasharray: 4 3; } text.reference-label { font-size: 11px; }
.pass { fill: #2a7f62; } .rest { fill: #e07a5f; } text.column-label { font-size: 10px; fill: #56606b; }
.box { fill: #cfe3f5; stroke: #2c5d8a; } .box.slow { fill: #fbe1ad; stroke: #a35f00; }
.median { stroke: #10202e; stroke-width: 2; } .whisker { stroke: #2c5d8a; }
.dot { fill: #2c5d8a; fill-opacity: .35; } .outlier { fill: #c23b22; }
text.slow-label { font-weight: 600; fill: #8a4f00; }
.key { display: inline-block; width: 10px; height: 10px; margin: 0 4px 0 12px; }
.key.pass { background: #2a7f62; } .key.rest { background: #e07a5f; }
table { border-collapse: collapse; margin: 8px 0 16px; font-size: 13px; }
caption { text-align: left; color: #56606b; font-size: 12px; padding: 2px 0; }
th, td { padding: 3px 10px; text-align: left; border-bottom: 1px solid #e3e7ec; vertical-align: top; }
th { font-weight: 600; } .n { text-align: right; font-variant-numeric: tabular-nums; }
tfoot td { font-weight: 600; } td.t { white-space: nowrap; }
#glance ul { padding-left: 20px; } #glance li { margin: 2px 0; } td.reason { max-width: 480px; overflow-wrap: anywhere; }
.empty { font-size: 18px; padding: 24px; border: 1px dashed #b9c2cc; border-radius: 6px; }
footer { margin-top: 36px; color: #56606b; font-size: 12px; }
@media print {
  body { max-width: none; padding: 0; font-size: 11px; }
  nav { display: none; }
  h2, h3 { break-after: avoid; } figure, table, ul.totals { break-inside: avoid; }
  * { -webkit-print-color-adjust: exact; print-color-adjust: exact; }
}
)";

std::string Q(const QString& text) {
    return text.toStdString();
}

std::string Local(std::int64_t ms, const QTimeZone& zone) {
    return Q(QDateTime::fromMSecsSinceEpoch(ms, zone).toString(QStringLiteral("yyyy-MM-dd HH:mm")));
}

std::string Cell(const std::string& html, bool number = false) {
    return std::string(number ? "<td class=\"n\">" : "<td>") + html + "</td>";
}

std::string Num(std::int64_t number) {
    return Cell(std::to_string(number), true);
}

// A table's heading row; `numbers` marks with an 'n' each column of figures.
std::string Heads(std::initializer_list<const char*> names, std::string_view numbers) {
    std::string row = "<thead><tr>";
    std::size_t column = 0;
    for (const char* name : names) {
        const bool figures = column < numbers.size() && numbers[column] == 'n';
        row += std::string(figures ? "<th scope=\"col\" class=\"n\">" : "<th scope=\"col\">") +
               name + "</th>";
        ++column;
    }
    return row + "</tr></thead>";
}

class Page {
public:
    Page(const ReportData& data, const PageOptions& options) : data_(data), options_(options) {
        for (const records::StationSpan& span : data.stations) {
            first_ = std::min(first_, span.firstMs);
            last_ = std::max(last_, span.lastMs);
        }
    }

    std::string Html() {
        std::string page =
            "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
            "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n"
            "<title>" +
            report::Html(Title()) + "</title>\n<style>" + kStyle + "</style>\n</head>\n<body>\n" +
            Header();
        if (data_.stations.empty()) {
            page += "<main>\n<p class=\"empty\">No recorded run matches: there is nothing to "
                    "report.</p>\n</main>\n";
        } else {
            // The sections first, in order: each notes what stands out, for the top.
            std::string sections = SlotSection();
            sections += TimeSection();
            sections += StepSection();
            sections += FailureSection();
            page += "<main>\n" + Glance() + sections + "</main>\n";
        }
        return page + "<footer>Made by Marlow " + report::Html(options_.version) + " on " +
               Local(options_.madeMs, options_.zone) +
               ". Times are local. <code>marlow-cli runs show ID</code> shows a run whole."
               "</footer>\n</body>\n</html>\n";
    }

private:
    bool ManyStations() const { return data_.stations.size() > 1; }

    std::string StationNames() const {
        std::string names;
        for (const records::StationSpan& span : data_.stations)
            names += (names.empty() ? "" : ", ") + span.station;
        return names;
    }

    std::string Span() const {
        return Local(first_, options_.zone) + " to " + Local(last_, options_.zone);
    }

    std::string Title() const {
        return data_.stations.empty() ? "Run report: nothing to report"
                                      : "Run report: " + StationNames() + ", " + Span();
    }

    // "line-4/slot 3" where the report covers several stations.
    std::string SlotName(const std::string& station, const std::string& slot) const {
        const std::string name = slot.empty() ? "(no slot)" : slot;
        return ManyStations() ? station + "/" + name : name;
    }

    std::string Filters() const {
        const records::RunFilter& f = data_.filter;
        std::vector<std::string> terms;
        if (f.sinceMs)
            terms.push_back("started at or after " + Local(*f.sinceMs, options_.zone));
        if (f.untilMs)
            terms.push_back("started before " + Local(*f.untilMs, options_.zone));
        if (f.verdict)
            terms.push_back(std::string("verdict ") + records::NameOf(*f.verdict));
        for (const auto& [name, value] : {std::pair{"slot ", &f.slot},
                                          {"station ", &f.station},
                                          {"file ", &f.file},
                                          {"serial number ", &f.serial}})
            if (!value->empty())
                terms.push_back(name + *value);
        if (terms.empty())
            return "none: every record";
        std::string text;
        for (const std::string& term : terms)
            text += (text.empty() ? "" : "; ") + term;
        return text;
    }

    std::string Header() const {
        std::string html = "<header>\n<h1>Run report</h1>\n<p class=\"lead\">";
        if (data_.stations.empty())
            html += "No recorded run matches.";
        else
            html += std::string(ManyStations() ? "Stations " : "Station ") + "<b>" +
                    report::Html(StationNames()) + "</b> &middot; runs from " + Span();
        html += "</p>\n<dl class=\"facts\"><dt>Records</dt><dd>" + report::Html(data_.source) +
                "</dd><dt>Filters</dt><dd>" + report::Html(Filters()) + "</dd></dl>\n";
        if (data_.stations.empty())
            return html + "</header>\n";
        const YieldRow total = records::YieldTotal(data_.bySlot);
        std::int64_t runs = 0;
        for (const records::StationSpan& span : data_.stations)
            runs += span.runs;
        int unpassed = 0;
        for (const records::FailureCount& count : data_.failureCounts)
            unpassed += count.runs;
        const auto tile = [](const std::string& name, const std::string& value,
                             const std::string& note) {
            return "<li><span class=\"k\">" + name + "</span><span class=\"v\">" + value +
                   "</span><span class=\"s\">" + note + "</span></li>";
        };
        html += "<ul class=\"totals\" aria-label=\"Totals\">" +
                tile("Units", std::to_string(total.units), "handsets seen") +
                tile("First-pass yield", Percent(total.firstPass, total.units),
                     std::to_string(total.firstPass) + " passed first time") +
                tile("Retest rate", Percent(total.retested, total.units),
                     std::to_string(total.retested) + " passed on a retest") +
                tile("Runs", std::to_string(total.runs),
                     runs > total.runs ? std::to_string(runs - total.runs) + " still running"
                                       : std::string("finished")) +
                tile("Did not pass", std::to_string(unpassed), "runs, below") + "</ul>\n";
        return html + "<nav aria-label=\"Contents\"><a href=\"#slots\">Yield per slot</a>"
                      "<a href=\"#time\">Over time</a><a href=\"#steps\">Step times</a>"
                      "<a href=\"#failures\">Failures</a></nav>\n</header>\n";
    }

    static std::string YieldCells(const YieldRow& row) {
        return Num(row.units) + Num(row.firstPass) + Cell(Percent(row.firstPass, row.units), true) +
               Num(row.retested) + Cell(Percent(row.retested, row.units), true) + Num(row.runs);
    }

    std::string SlotSection() {
        std::vector<YieldRow> rows = data_.bySlot;
        std::sort(rows.begin(), rows.end(), [](const YieldRow& a, const YieldRow& b) {
            return a.station != b.station ? NaturalLess(a.station, b.station)
                                          : NaturalLess(a.group, b.group);
        });
        const YieldRow total = records::YieldTotal(rows);
        std::vector<YieldBar> bars;
        std::string table;
        const YieldRow* lowest = nullptr;
        std::string low;
        for (const YieldRow& row : rows) {
            const std::string name = SlotName(row.station, row.group);
            bars.push_back({name, row.units, row.firstPass});
            if (row.units > 0 && (row.firstPass * 1.0 / row.units) <
                                     (total.firstPass * 1.0 / total.units) - kLowYield)
                low += (low.empty() ? "" : ", ") + report::Html(name) + " " +
                       Percent(row.firstPass, row.units) + " (" + std::to_string(row.firstPass) +
                       " of " + std::to_string(row.units) + ")";
            table += "<tr><th scope=\"row\">" + report::Html(name) + "</th>" + YieldCells(row) +
                     "</tr>\n";
            if (row.units > 0 &&
                (lowest == nullptr || static_cast<double>(row.firstPass) / row.units <
                                          static_cast<double>(lowest->firstPass) / lowest->units))
                lowest = &row;
        }
        if (!low.empty())
            notes_.push_back("<b>Low first-pass yield:</b> " + low + "; all slots " +
                             Percent(total.firstPass, total.units) + ".");
        std::string desc = "First-pass yield of " + std::to_string(rows.size()) +
                           " slots; all slots together " + Percent(total.firstPass, total.units) +
                           ".";
        if (lowest != nullptr)
            desc += " Lowest: " + SlotName(lowest->station, lowest->group) + " at " +
                    Percent(lowest->firstPass, lowest->units) + ".";
        return "<section id=\"slots\" aria-labelledby=\"slots-h\">\n<h2 id=\"slots-h\">First-pass "
               "yield per slot</h2>\n<figure>" +
               YieldBarChart({"slots-chart", "First-pass yield per slot", desc}, bars, total.units,
                             total.firstPass) +
               "<figcaption>Units that passed at their first run, per slot. The dashed line is "
               "all slots together; a bar 2 points under it is amber, 10 points red."
               "</figcaption></figure>\n<table><caption>Yield per slot (a handset counts in the "
               "slot of its first run)</caption>" +
               Heads({"Slot", "Units", "First pass", "Yield", "Retested", "Retest rate", "Runs"},
                     "-nnnnnn") +
               "<tbody>\n" + table + "</tbody><tfoot><tr><td>All</td>" + YieldCells(total) +
               "</tr></tfoot></table>\n</section>\n";
    }

    std::string TimeSection() {
        const bool hourly = data_.timeStep == TimeStep::Hour;
        std::vector<PeriodColumn> columns;
        std::string table;
        int periods = 0;
        const YieldRow* lowest = nullptr;
        for (const YieldRow& row : data_.byTime) {
            // "2024-05-01 13:00" by the hour, "2024-05-01" by the day.
            const std::string& label = row.group;
            columns.push_back(hourly ? PeriodColumn{label.substr(11, 5), label.substr(0, 10),
                                                    row.units, row.firstPass}
                                     : PeriodColumn{label.substr(8, 2), label.substr(0, 7),
                                                    row.units, row.firstPass});
            if (row.units == 0)
                continue;
            ++periods;
            table += "<tr><th scope=\"row\">" + report::Html(label) + "</th>" + YieldCells(row) +
                     "</tr>\n";
            if (lowest == nullptr || static_cast<double>(row.firstPass) / row.units <
                                         static_cast<double>(lowest->firstPass) / lowest->units)
                lowest = &row;
        }
        const std::string per = hourly ? "hour" : "day";
        std::string desc = "Units per " + per +
                           ", split into those that passed first time and "
                           "the others, over " +
                           std::to_string(periods) + " " + per + "s with units.";
        if (lowest != nullptr)
            desc += " Lowest yield: " + lowest->group + " at " +
                    Percent(lowest->firstPass, lowest->units) + ".";
        return "<section id=\"time\" aria-labelledby=\"time-h\">\n<h2 id=\"time-h\">Units and "
               "yield per " +
               per + "</h2>\n<figure>" +
               PeriodColumnChart({"time-chart", "Units and first-pass yield per " + per, desc},
                                 columns) +
               "<figcaption><span class=\"key pass\"></span>passed first time<span "
               "class=\"key rest\"></span>did not "
               "(retested or never passed); the figure above a column is its yield. A handset "
               "counts in the " +
               per + " of its first run.</figcaption></figure>\n<table><caption>Yield per " + per +
               " (" + (hourly ? "hours" : "days") + " without units left out)</caption>" +
               Heads({hourly ? "Hour" : "Day", "Units", "First pass", "Yield", "Retested",
                      "Retest rate", "Runs"},
                     "-nnnnnn") +
               "<tbody>\n" + table + "</tbody></table>\n</section>\n";
    }

    std::string StepSection() {
        std::string html = "<section id=\"steps\" aria-labelledby=\"steps-h\">\n<h2 "
                           "id=\"steps-h\">Step times per slot</h2>\n";
        if (data_.stepTimes.empty())
            return html + "<p>No passed run with timed steps matches.</p>\n</section>\n";
        html += "<p>How long each passed run spent in each kind of step. A slot whose box sits "
                "to the right of the others, or with many red dots, is slower than its "
                "neighbours: look at its cable, hub port or contacts. Box: half the runs; line "
                "in it: the median; whiskers: the rest, up to 1.5 box lengths; red dots: runs "
                "beyond, named by their id.</p>\n";
        // kind -> slot -> times, in the order a run goes through its steps.
        static const std::vector<std::pair<std::string, std::string>> kKinds = {
            {"pda-image", "PDA images"},
            {"hand-over", "Hand-over to the modem"},
            {"port-wait", "Modem port wait"},
            {"phone-boot", "Phone boot"},
            {"phone-part", "Phone parts"},
            {"uart-file", "UART files"},
            {"stamp", "Stamp"}};
        std::map<std::string, std::map<std::pair<std::string, std::string>, BoxRow>> byKind;
        for (const records::StepTime& time : data_.stepTimes)
            byKind[time.kind][{time.station, time.slot}].samples.push_back(
                {static_cast<double>(time.ms), time.runId});
        std::vector<std::pair<std::string, std::string>> kinds;
        for (const auto& known : kKinds)
            if (byKind.contains(known.first))
                kinds.push_back(known);
        for (const auto& entry : byKind)
            if (std::none_of(kKinds.begin(), kKinds.end(),
                             [&](const auto& known) { return known.first == entry.first; }))
                kinds.emplace_back(entry.first, entry.first);
        int figure = 0;
        for (const auto& [kind, title] : kinds)
            html += KindFigure(title, byKind[kind], ++figure);
        return html + "</section>\n";
    }

    std::string KindFigure(const std::string& title,
                           std::map<std::pair<std::string, std::string>, BoxRow>& bySlot,
                           int figure) {
        std::vector<std::pair<std::string, std::string>> keys;
        std::vector<double> all;
        for (auto& [key, row] : bySlot) {
            keys.push_back(key);
            row.label = SlotName(key.first, key.second);
            for (const TimeSample& sample : row.samples)
                all.push_back(sample.ms);
        }
        std::sort(keys.begin(), keys.end(), [](const auto& a, const auto& b) {
            return a.first != b.first ? NaturalLess(a.first, b.first)
                                      : NaturalLess(a.second, b.second);
        });
        const double overall = SpreadOf(all).median;
        std::vector<BoxRow> rows;
        std::string table;
        std::string slow;
        for (const auto& key : keys) {
            BoxRow& row = bySlot[key];
            std::vector<double> values;
            for (const TimeSample& sample : row.samples)
                values.push_back(sample.ms);
            const Spread spread = SpreadOf(values);
            row.slow = keys.size() > 1 && spread.median > overall * kSlowFactor;
            if (row.slow)
                slow += (slow.empty() ? "" : ", ") + row.label + " (median " +
                        Duration(spread.median) + ")";
            std::size_t outliers = 0;
            for (const double value : values)
                outliers += value < spread.lowWhisker || value > spread.highWhisker ? 1 : 0;
            table += "<tr><th scope=\"row\">" + report::Html(row.label) +
                     (row.slow ? " <b>(slow)</b>" : "") + "</th>" + Num(spread.count) +
                     Cell(Duration(spread.min), true) + Cell(Duration(spread.q1), true) +
                     Cell(Duration(spread.median), true) + Cell(Duration(spread.q3), true) +
                     Cell(Duration(spread.max), true) + Num(outliers) + "</tr>\n";
            rows.push_back(row);
        }
        const std::string desc =
            title + " per slot; the median of all slots is " + Duration(overall) + ". " +
            (slow.empty() ? "No slot stands out as slow." : "Slow: " + slow + ".");
        if (!slow.empty())
            notes_.push_back("<b>Slow, " + report::Html(title) + ":</b> " + report::Html(slow) +
                             "; all slots " + Duration(overall) + ".");
        return "<h3>" + report::Html(title) + "</h3>\n<figure>" +
               BoxPlotChart(
                   {"steps-" + std::to_string(figure), title + ": time per run, per slot", desc},
                   rows) +
               "<figcaption>" + report::Html(desc) + "</figcaption></figure>\n<table><caption>" +
               report::Html(title) + ": time per passed run</caption>" +
               Heads({"Slot", "Runs", "Fastest", "Lower quartile", "Median", "Upper quartile",
                      "Slowest", "Outliers"},
                     "-nnnnnnn") +
               "<tbody>\n" + table + "</tbody></table>\n";
    }

    std::string FailureSection() {
        std::string html = "<section id=\"failures\" aria-labelledby=\"failures-h\">\n<h2 "
                           "id=\"failures-h\">Runs that did not pass</h2>\n";
        if (data_.failureCounts.empty())
            return html + "<p>Every finished run passed.</p>\n</section>\n";
        struct Group {
            int runs = 0;
            std::int64_t lastMs = 0;
            std::vector<std::pair<std::string, int>> slotRuns;
        };
        using Key =
            std::tuple<std::string, records::RecordVerdict, records::ErrorClass, records::Half>;
        std::map<Key, Group> groups;
        for (const records::FailureCount& count : data_.failureCounts) {
            Group& group = groups[{count.reason, count.verdict, count.errorClass, count.half}];
            group.runs += count.runs;
            group.lastMs = std::max(group.lastMs, count.lastMs);
            group.slotRuns.emplace_back(SlotName(count.station, count.slot), count.runs);
        }
        std::vector<std::pair<Key, Group>> sorted(groups.begin(), groups.end());
        std::stable_sort(sorted.begin(), sorted.end(), [](const auto& a, const auto& b) {
            return a.second.runs != b.second.runs ? a.second.runs > b.second.runs
                                                  : a.second.lastMs > b.second.lastMs;
        });
        notes_.push_back("<b>Most frequent failure:</b> " +
                         ReasonHtml(std::get<0>(sorted[0].first)) + " (" +
                         std::to_string(sorted[0].second.runs) + " runs).");
        html += "<h3>By reason</h3>\n<table><caption>Runs that did not pass, by reason, most "
                "first; the slots they ran in, with how many</caption>" +
                Heads({"Runs", "Reason", "Verdict", "Cause", "Slots", "Last"}, "n") + "<tbody>\n";
        for (auto& [key, group] : sorted) {
            const auto& [reason, verdict, errorClass, half] = key;
            std::sort(group.slotRuns.begin(), group.slotRuns.end(),
                      [](const auto& a, const auto& b) {
                          return a.second != b.second ? a.second > b.second
                                                      : NaturalLess(a.first, b.first);
                      });
            std::string where;
            for (const auto& [slot, runs] : group.slotRuns)
                where += (where.empty() ? "" : ", ") + slot + " (" + std::to_string(runs) + ")";
            html += "<tr>" + Num(group.runs) + "<td class=\"reason\">" + ReasonHtml(reason) +
                    "</td>" + Cell(records::NameOf(verdict)) +
                    Cell(report::Html(Cause(errorClass, half))) + Cell(report::Html(where)) +
                    Time(group.lastMs) + "</tr>\n";
        }
        html += "</tbody></table>\n<h3>The latest " + std::to_string(data_.latestFailures.size()) +
                "</h3>\n<table><caption>The latest runs that did not pass, newest first</caption>" +
                Heads({"Run", "Slot", "Started", "Verdict", "Reason"}, "") + "<tbody>\n";
        for (const records::RunRecord& run : data_.latestFailures)
            html += "<tr>" +
                    Cell("<code title=\"" + report::Html(run.facts.runId) + "\">" +
                         report::Html(run.facts.runId.substr(0, 8)) + "</code>") +
                    Cell(report::Html(SlotName(run.facts.stationId, run.facts.slot))) +
                    Time(run.facts.startedMs) + Cell(records::NameOf(run.ending.verdict)) +
                    "<td class=\"reason\">" + ReasonHtml(run.ending.reason) + "</td></tr>\n";
        return html + "</tbody></table>\n</section>\n";
    }

    // What stands out, before the figures.
    std::string Glance() const {
        std::string html = "<section id=\"glance\" aria-labelledby=\"glance-h\">\n<h2 "
                           "id=\"glance-h\">At a glance</h2>\n<ul>\n";
        if (notes_.empty())
            html += "<li>Nothing stands out: no slot's yield is well under the others', none is "
                    "slow, every finished run passed.</li>\n";
        for (const std::string& note : notes_)
            html += "<li>" + note + "</li>\n";
        return html + "</ul>\n</section>\n";
    }

    std::string Time(std::int64_t ms) const {
        return "<td class=\"t\">" + Local(ms, options_.zone) + "</td>";
    }

    static std::string ReasonHtml(const std::string& reason) {
        return reason.empty() ? std::string("<i>no reason recorded</i>") : report::Html(reason);
    }

    // "device, phone half"
    static std::string Cause(records::ErrorClass errorClass, records::Half half) {
        const std::string cause = records::NameOf(errorClass);
        const std::string part = records::NameOf(half);
        return cause + (cause.empty() || part.empty() ? "" : ", ") +
               (part.empty() ? "" : part + " half");
    }

    const ReportData& data_;
    const PageOptions& options_;
    std::int64_t first_ = std::numeric_limits<std::int64_t>::max();
    std::int64_t last_ = std::numeric_limits<std::int64_t>::min();
    std::vector<std::string> notes_; // HTML
};

} // namespace

std::string HtmlReport(const ReportData& data, const PageOptions& options) {
    return Page(data, options).Html();
}

} // namespace marlow::report
