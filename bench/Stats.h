#pragma once

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace korvo::bench {

/// Nearest-rank percentile (q in 0..1) of the values; nothing for an empty list.
[[nodiscard]] inline std::optional<double> percentile(std::vector<double> values, double q)
{
    if (values.empty())
        return std::nullopt;
    std::sort(values.begin(), values.end());
    const auto n = static_cast<double>(values.size());
    const auto rank = static_cast<std::size_t>(std::max(1.0, std::ceil(q * n)));
    return values[std::min(rank, values.size()) - 1];
}

[[nodiscard]] inline std::optional<double> maximum(const std::vector<double>& values)
{
    if (values.empty())
        return std::nullopt;
    return *std::max_element(values.begin(), values.end());
}

[[nodiscard]] inline std::optional<double> minimum(const std::vector<double>& values)
{
    if (values.empty())
        return std::nullopt;
    return *std::min_element(values.begin(), values.end());
}

/// The value of largest magnitude, sign kept (a clock 3 periods behind is -3, not 3).
[[nodiscard]] inline std::int64_t worst(const std::vector<std::int64_t>& values)
{
    std::int64_t w = 0;
    for (const std::int64_t v : values) {
        if ((v < 0 ? -v : v) > (w < 0 ? -w : w))
            w = v;
    }
    return w;
}

[[nodiscard]] inline std::vector<double> magnitudes(std::vector<double> values)
{
    for (double& v : values)
        v = std::fabs(v);
    return values;
}

[[nodiscard]] inline double toMicroseconds(std::int64_t ns)
{
    return static_cast<double>(ns) / 1000.0;
}

} // namespace korvo::bench
