#pragma once

#include "platform/MonotonicClock.h"
#include "platform/TickTimer.h"

#include <chrono>
#include <cstdint>

class QSocketNotifier;
class QTimer;

namespace korvo::platform {

/// A drift-free tick timer. Switched on at t0, its deadlines are t0 + k * period (k >= 1) on the injected
/// monotonic clock; a late event never moves the grid. A tick that comes after several deadlines have passed
/// is delivered once, with missedTicks() counting the deadlines that had no event of their own.
///
/// The grid arithmetic lives in poll(); a wake-up source only decides when poll() runs. On Linux the wake-up
/// is a timerfd on CLOCK_MONOTONIC with absolute deadlines; elsewhere (or if no timerfd can be made) a
/// precise single-shot QTimer re-armed to the next deadline. The clock must outlive the timer; periods below
/// 1 ms are taken as 1 ms.
class HiTimer final : public TickTimer
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(HiTimer)
public:
    enum class WakeUp {
        Auto,     ///< timerfd where available, else QtTimer
        TimerFd,  ///< Linux timerfd (falls back to QtTimer when it cannot be created)
        QtTimer,  ///< Qt::PreciseTimer single shot, millisecond granularity
        Manual,   ///< nothing wakes the timer: only explicit poll() calls deliver ticks
    };

    HiTimer(const MonotonicClock& clock, std::chrono::milliseconds period, QObject* parent = nullptr);
    HiTimer(const MonotonicClock& clock, std::chrono::milliseconds period, WakeUp wakeUp, QObject* parent = nullptr);
    ~HiTimer() override;

    /// On (from off): the grid starts now, the first tick is one period later. On while on keeps the running
    /// grid. Off: no tick is delivered after this returns, not even one that was already due.
    void setEnabled(bool on) override;
    [[nodiscard]] int missedTicks() const override { return m_missed; }

    /// Delivers at most one tick if a deadline has passed on the clock; returns whether it did.
    /// Does nothing while off, and nothing while a tick is being delivered (a handler that runs a nested
    /// event loop does not get a second tick inside the first; the catch-up comes after it returns).
    bool poll();

    [[nodiscard]] bool isEnabled() const { return m_on; }
    [[nodiscard]] std::chrono::nanoseconds period() const { return m_period; }
    /// The deadline the latest tick stands for (its own grid point), on the injected clock.
    [[nodiscard]] std::chrono::nanoseconds lastDeadline() const { return m_lastDeadline; }
    /// The deadline the next tick waits for, on the injected clock.
    [[nodiscard]] std::chrono::nanoseconds nextDeadline() const { return m_start + m_next * m_period; }
    /// The wake-up source actually in use (never Auto).
    [[nodiscard]] WakeUp wakeUp() const { return m_wakeUp; }

private:
    void arm();
    void disarm();
    void onTimerFd();

    const MonotonicClock& m_clock;
    const std::chrono::nanoseconds m_period;
    WakeUp m_wakeUp;
    bool m_clockIsSteady = false;

    bool m_on = false;
    bool m_delivering = false;
    std::chrono::nanoseconds m_start{0};
    std::int64_t m_next = 1;
    std::chrono::nanoseconds m_lastDeadline{0};
    int m_missed = 0;

    int m_timerFd = -1;
    QSocketNotifier* m_notifier = nullptr;
    QTimer* m_qtTimer = nullptr;
};

} // namespace korvo::platform
