#pragma once

#include <QJsonArray>
#include <QJsonObject>
#include <QString>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <ctime>
#include <optional>
#include <sys/types.h>
#include <vector>

namespace korvo::bench {

/// What Korvo Timer's value must reach: `op` is "lt", "le", "eq" or "abs_le" (|value| ≤), against `value`
/// alone or `value` times the baseline's or the floor's figure (`of` "baseline" or "floor"). The table
/// script judges it, so a result file never carries a stale verdict.
struct Goal
{
    QString op;
    double value = 0;
    QString of;
};

/// Reads "op:value[:of]" (le:1.2:floor, lt:100, eq:0); nothing for an empty text.
[[nodiscard]] std::optional<Goal> goalFrom(const QString& text);

/// One row of a results table: Korvo Timer's value beside the baseline's and the machine's floor, each
/// measured in the same run, or absent.
[[nodiscard]] QJsonObject figure(const QString& key, const QString& label, const QString& unit,
                                 std::optional<double> korvo, std::optional<double> baseline,
                                 std::optional<double> floor, const std::optional<Goal>& goal = {},
                                 const QString& note = {});

/// The same, for a figure that can be negative (an offset, a drift, a trend): no ratio of it means anything.
[[nodiscard]] QJsonObject signedFigure(const QString& key, const QString& label, const QString& unit,
                                       std::optional<double> korvo, std::optional<double> baseline,
                                       std::optional<double> floor, const std::optional<Goal>& goal = {},
                                       const QString& note = {});

/// One section of the results, printed by scripts/bench-table as one table; `baselineName` and `floorName`
/// head its baseline and floor columns (empty: the section has none).
[[nodiscard]] QJsonObject part(const QString& section, int order, const QString& about, const QString& baselineName,
                               const QString& floorName, const QJsonArray& figures);

[[nodiscard]] bool writeJson(const QString& path, const QJsonObject& object);
[[nodiscard]] QJsonObject readJson(const QString& path);

/// Nearest-rank percentile (q in 0..1) of the values; nothing for an empty list.
[[nodiscard]] inline std::optional<double> percentile(std::vector<double> values, double q)
{
    if (values.empty())
        return std::nullopt;
    std::sort(values.begin(), values.end());
    const auto rank = static_cast<std::size_t>(std::max(1.0, std::ceil(q * static_cast<double>(values.size()))));
    return values[std::min(rank, values.size()) - 1];
}

[[nodiscard]] inline std::vector<double> magnitudes(std::vector<double> values)
{
    for (double& v : values)
        v = std::fabs(v);
    return values;
}

/// |value - median| of each value: the spread left when a constant offset is taken away.
[[nodiscard]] std::vector<double> aroundMedian(const std::vector<double>& values);

/// Slope of y over x that one late sample cannot tilt: the median of the slopes between every pair of points
/// (Theil-Sen); nothing for fewer than two distinct x.
[[nodiscard]] std::optional<double> slope(const std::vector<double>& x, const std::vector<double>& y);

[[nodiscard]] std::int64_t nowNs(clockid_t clock);
[[nodiscard]] std::int64_t nsOf(const timespec& t);
/// CLOCK_REALTIME minus CLOCK_MONOTONIC, for reading the kernel's receive stamps on the monotonic clock.
[[nodiscard]] std::int64_t realtimeOffsetNs();
/// Sleeps until `deadline` on CLOCK_MONOTONIC.
void sleepUntil(std::int64_t deadline);

/// What /proc says about a process, summed over its threads.
struct ProcessSample
{
    bool alive = false;
    std::int64_t cpuNs = 0; ///< time on a CPU (schedstat)
    std::int64_t switches = 0; ///< voluntary + involuntary context switches: its wake-ups and preemptions
    std::int64_t voluntary = 0;
    double rssMiB = 0; ///< VmRSS
    double peakRssMiB = 0; ///< VmHWM
    double anonMiB = 0; ///< RssAnon: memory of its own, not pages of shared libraries
};
[[nodiscard]] ProcessSample sampleProcess(pid_t pid);

/// "%1 (1, 5, 15 min)" of /proc/loadavg.
[[nodiscard]] QString loadAverage();

void progress(const QString& text);

/// The seconds shown by a time datagram ("p1t12:34" is 754), or nothing for anything else.
[[nodiscard]] std::optional<int> shownSeconds(const QByteArray& payload);

/// Figures of the timer and socket in one process beside the obvious clock (TimingBench.cpp).
[[nodiscard]] QJsonObject timingPart(bool smoke);

} // namespace korvo::bench
