#pragma once

#include <QJsonArray>
#include <QJsonObject>
#include <QString>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <optional>
#include <vector>

namespace korvo::bench {

/// One line of the results table: the project's value beside the baseline's, measured in the same run, and
/// the goal the project's value must reach ("lt" below, "eq" equal to `goalValue`, or "none").
[[nodiscard]] QJsonObject figure(const QString& key, const QString& label, const QString& unit,
                                 std::optional<double> project, std::optional<double> baseline,
                                 const QString& goal = QStringLiteral("none"), double goalValue = 0,
                                 const QString& note = {});

/// Drift, stalls, jitter and tick to wire of both clocks; the 1000 ms run only with `full`, short runs with `smoke`.
[[nodiscard]] QJsonArray timingFigures(bool full, bool smoke);

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

} // namespace korvo::bench
