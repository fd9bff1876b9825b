#pragma once

#include "platform/TickTimer.h"

namespace korvo::fakes {

/// A tick timer driven by the test: fire() delivers one tick event with the given missed count.
class FakeTimer final : public platform::TickTimer
{
public:
    using TickTimer::TickTimer;

    void setEnabled(bool on) override { enabled = on; }
    [[nodiscard]] int missedTicks() const override { return m_missed; }

    /// Delivers a tick as the real timer would: only while switched on.
    bool fire(int missed = 0)
    {
        if (!enabled)
            return false;
        m_missed = missed;
        emit tick();
        return true;
    }

    bool enabled = false;

private:
    int m_missed = 0;
};

} // namespace korvo::fakes
