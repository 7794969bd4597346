// The benchmark's rows: timing both sides in turns, and the table.
#include "benchTable.h"

#include <windows.h>

#include <algorithm>

double nowMs()
{
    static const LARGE_INTEGER frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return f;
    }();
    LARGE_INTEGER t;
    QueryPerformanceCounter(&t);
    return 1000.0 * static_cast<double>(t.QuadPart) / static_cast<double>(frequency.QuadPart);
}

void Timings::add(double ms)
{
    runs.insert(std::upper_bound(runs.begin(), runs.end(), ms), ms);
}

double Timings::min() const
{
    return runs.empty() ? 0 : runs.front();
}

double Timings::median() const
{
    if (runs.empty())
        return 0;
    size_t half = runs.size() / 2;
    return runs.size() % 2 ? runs[half] : (runs[half - 1] + runs[half]) / 2;
}

double Timings::max() const
{
    return runs.empty() ? 0 : runs.back();
}

Goal ratioAtMost(double limit, const char* text)
{
    return {text, [limit](double ours, double baseline) { return baseline > 0 && ours <= limit * baseline; }};
}

BenchTable::BenchTable(int runs) : runCount(runs)
{
}

namespace {
// One timed run of a side, with its untimed steps around it.
double timeOnce(const Side& side)
{
    if (side.prepare)
        side.prepare();
    double start = nowMs();
    side.run();
    double ms = nowMs() - start;
    if (side.keep)
        side.keep();
    return ms;
}

// A time in six columns whatever its size: three decimals below 10 ms, fewer above.
std::string formatMs(double ms)
{
    char text[32];
    int decimals = ms < 10 ? 3 : ms < 100 ? 2 : ms < 1000 ? 1 : 0;
    std::snprintf(text, sizeof text, "%6.*f", decimals, ms);
    return text;
}
}  // namespace

Row& BenchTable::compare(const std::string& name, const Side& ours, const Side& baseline,
                         const std::function<bool()>& sameResults, const Goal& goal)
{
    Row& row = add(name, goal);
    timeOnce(ours);
    timeOnce(baseline);
    for (int i = 0; i < runCount; ++i) {
        row.ours.add(timeOnce(ours));
        row.baseline.add(timeOnce(baseline));
    }
    row.differ = sameResults && !sameResults();
    return row;
}

Row& BenchTable::add(const std::string& name, const Goal& goal)
{
    rows.emplace_back();
    Row& row = rows.back();
    row.name = name;
    row.goal = goal;
    return row;
}

void BenchTable::skip(const std::string& name, const std::string& why)
{
    Row& row = add(name);
    row.skipped = true;
    row.note = why;
}

void BenchTable::print(std::FILE* out) const
{
    std::fprintf(out, "Milliseconds, %d runs of each side in turns; ratio: ours / baseline, judged by the "
                      "minimums.\n", runCount);
    std::fprintf(out, "%-29s %-20s   %-20s   %-13s\n", "", "------- ours -------", "----- baseline -----",
                 "--- ratio ---");
    std::fprintf(out, "%-29s %6s %6s %6s   %6s %6s %6s   %6s %6s  %s\n", "measurement", "min", "median", "max",
                 "min", "median", "max", "min", "median", "goal");
    for (const Row& row : rows) {
        if (row.skipped) {
            std::fprintf(out, "%-29s %s\n", row.name.c_str(), row.note.c_str());
            continue;
        }
        auto ratio = [](double ours, double baseline) { return baseline > 0 ? ours / baseline : 0; };
        std::string goal;
        if (!row.goal.text.empty() && row.goal.met)
            goal = row.goal.text + (row.goal.met(row.ours.min(), row.baseline.min()) ? " met" : " MISSED");
        std::string notes = row.differ ? "RESULTS DIFFER" : "";
        if (!row.note.empty())
            notes += (notes.empty() ? "" : "; ") + row.note;
        char line[512];
        std::snprintf(line, sizeof line, "%-29s %s %s %s   %s %s %s   %6.2f %6.2f  %-11s %s", row.name.c_str(),
                      formatMs(row.ours.min()).c_str(), formatMs(row.ours.median()).c_str(),
                      formatMs(row.ours.max()).c_str(), formatMs(row.baseline.min()).c_str(),
                      formatMs(row.baseline.median()).c_str(), formatMs(row.baseline.max()).c_str(),
                      ratio(row.ours.min(), row.baseline.min()),
                      ratio(row.ours.median(), row.baseline.median()), goal.c_str(), notes.c_str());
        std::string text = line;
        text.erase(text.find_last_not_of(' ') + 1);
        std::fprintf(out, "%s\n", text.c_str());
    }
    std::fflush(out);
}

bool BenchTable::resultsDiffer() const
{
    return std::any_of(rows.begin(), rows.end(), [](const Row& row) { return row.differ; });
}
