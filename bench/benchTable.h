// benchTable: the rows of the benchmark. A row times two sides of the same job, ours and a
// plain baseline, in turns in the same process and many times each, so that drift in the load
// of a shared machine falls on both alike. It keeps every run: the table prints each side's
// minimum, median and maximum, and judges by the ratio of the minimums, the figure least moved
// by noise. Each row also checks that both sides produced the same result, so that a fast but
// wrong path cannot pass unnoticed: a row whose results differ fails the whole benchmark.
#ifndef BENCH_TABLE_H
#define BENCH_TABLE_H

#include <cstdio>
#include <deque>
#include <functional>
#include <string>
#include <vector>

// Milliseconds on the performance counter.
double nowMs();

// One side of a row: the work that is timed, and untimed steps around it (each may be empty).
struct Side {
    std::function<void()> run;
    std::function<void()> prepare;  // before each run: fresh state, so that every run does the same work
    std::function<void()> keep;     // after each run: takes the result that the check compares
};

// The runs of one side, in milliseconds.
class Timings {
public:
    void add(double ms);
    int count() const { return static_cast<int>(runs.size()); }
    // Each 0 when there is no run.
    double min() const;
    double median() const;
    double max() const;

private:
    std::vector<double> runs;
};

// What a row has to meet, from the minimums of both sides.
struct Goal {
    std::string text;  // as printed, "<=1.2" for example; empty: the row has no goal
    std::function<bool(double oursMin, double baselineMin)> met;
};
// Ours at most `limit` times the baseline.
Goal ratioAtMost(double limit, const char* text);

struct Row {
    std::string name;
    Timings ours;
    Timings baseline;
    Goal goal;
    bool differ = false;  // the two sides' results were not the same
    bool skipped = false; // not measured; note says why
    std::string note;     // what the baseline is when it is not the obvious one, or why skipped
};

class BenchTable {
public:
    // runs: timed runs of each side in every row that compare() measures.
    explicit BenchTable(int runs);
    BenchTable(const BenchTable&) = delete;
    BenchTable& operator=(const BenchTable&) = delete;

    int runs() const { return runCount; }

    // Times a row: one untimed run of each side first (first-use costs are not the job), then
    // `runs` rounds of ours and the baseline in turns. sameResults is asked once, after the
    // last round, and should compare what the sides' keep steps took. Returns the row, which
    // stays valid for the table's life (a note may be added to it).
    Row& compare(const std::string& name, const Side& ours, const Side& baseline,
                 const std::function<bool()>& sameResults, const Goal& goal = Goal());
    // A row whose runs the caller times itself, for work that needs a fresh process or window
    // for each run: add a pair of times to ours and baseline per round, and set differ.
    Row& add(const std::string& name, const Goal& goal = Goal());
    // A row that could not be measured, with the reason.
    void skip(const std::string& name, const std::string& why);

    // The table, one line per row, fit for a terminal of 100 columns (notes run past it).
    void print(std::FILE* out) const;
    // True when any row's results differed: the benchmark then fails.
    bool resultsDiffer() const;

private:
    int runCount;
    std::deque<Row> rows;  // a deque, so that the references handed out stay valid
};

#endif
