#pragma once

#include "platform/MonotonicClock.h"

#include <chrono>

namespace korvo::fakes {

/// A monotonic clock that moves only when told.
class FakeClock final : public platform::MonotonicClock
{
public:
    [[nodiscard]] std::chrono::nanoseconds now() const override { return m_now; }
    void advance(std::chrono::nanoseconds by) { m_now += by; }

private:
    std::chrono::nanoseconds m_now{std::chrono::seconds(1000)};
};

} // namespace korvo::fakes
