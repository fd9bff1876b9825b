#pragma once

#include "platform/TickTimer.h"

namespace korvo::fakes {

/// A tick timer driven by the test: fire() delivers one tick event with the given missed count.
class FakeTimer final : public platform::TickTimer
{
public:
    using TickTimer::TickTimer;

    void setEnabled(bool on) override
    {
        enabled = on;
        ++switches;
    }
    [[nodiscard]] int missedTicks() const override { return missed; }

    /// Deliver a tick as the real timer would: only while switched on.
    bool fire(int missedCount = 0)
    {
        if (!enabled)
            return false;
        missed = missedCount;
        emit tick();
        return true;
    }

    bool enabled = false;
    int switches = 0;
    int missed = 0;
};

} // namespace korvo::fakes
