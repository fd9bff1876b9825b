#pragma once

#include <chrono>

namespace korvo::platform {

/// The time source the clock's timer reads. Monotonic: never follows wall-clock changes.
class MonotonicClock
{
public:
    virtual ~MonotonicClock() = default;
    [[nodiscard]] virtual std::chrono::nanoseconds now() const = 0;
};

/// CLOCK_MONOTONIC (std::chrono::steady_clock).
class SteadyClock final : public MonotonicClock
{
public:
    [[nodiscard]] std::chrono::nanoseconds now() const override
    {
        return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch());
    }
};

} // namespace korvo::platform
