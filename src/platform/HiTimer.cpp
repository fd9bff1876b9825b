#include "platform/HiTimer.h"

#include <QSocketNotifier>
#include <QTimer>
#include <QtGlobal>

#include <algorithm>
#include <limits>

#if defined(Q_OS_LINUX)
#include <sys/timerfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <ctime>
#endif

namespace korvo::platform {

using std::chrono::nanoseconds;

namespace {

/// Clears a flag when the scope ends, also when a handler throws through the tick.
class FlagScope
{
public:
    explicit FlagScope(bool& flag)
        : m_flag(flag)
    {
        m_flag = true;
    }
    ~FlagScope() { m_flag = false; }
    FlagScope(const FlagScope&) = delete;
    FlagScope& operator=(const FlagScope&) = delete;

private:
    bool& m_flag;
};

#if defined(Q_OS_LINUX)
nanoseconds monotonicNow()
{
    timespec ts{};
    ::clock_gettime(CLOCK_MONOTONIC, &ts);
    return std::chrono::seconds(ts.tv_sec) + nanoseconds(ts.tv_nsec);
}

timespec toTimespec(nanoseconds t)
{
    // An all-zero it_value would disarm the timerfd; a deadline that has already passed must fire at once.
    t = std::max(t, nanoseconds(1));
    timespec ts{};
    ts.tv_sec = static_cast<time_t>(t.count() / 1'000'000'000);
    ts.tv_nsec = static_cast<long>(t.count() % 1'000'000'000);
    return ts;
}
#endif

} // namespace

HiTimer::HiTimer(const MonotonicClock& clock, std::chrono::milliseconds period, QObject* parent)
    : HiTimer(clock, period, WakeUp::Auto, parent)
{
}

HiTimer::HiTimer(const MonotonicClock& clock, std::chrono::milliseconds period, WakeUp wakeUp, QObject* parent)
    : TickTimer(parent)
    , m_clock(clock)
    , m_period(std::max(nanoseconds(period), nanoseconds(std::chrono::milliseconds(1))))
    , m_wakeUp(wakeUp)
    , m_clockIsSteady(dynamic_cast<const SteadyClock*>(&clock) != nullptr)
{
    if (m_wakeUp == WakeUp::Auto)
        m_wakeUp = WakeUp::TimerFd;

#if defined(Q_OS_LINUX)
    if (m_wakeUp == WakeUp::TimerFd) {
        m_timerFd = ::timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC);
        if (m_timerFd >= 0) {
            m_notifier = new QSocketNotifier(m_timerFd, QSocketNotifier::Read, this);
            connect(m_notifier, &QSocketNotifier::activated, this, &HiTimer::onTimerFd);
        } else {
            m_wakeUp = WakeUp::QtTimer;
        }
    }
#else
    if (m_wakeUp == WakeUp::TimerFd)
        m_wakeUp = WakeUp::QtTimer;
#endif

    if (m_wakeUp == WakeUp::QtTimer) {
        m_qtTimer = new QTimer(this);
        m_qtTimer->setSingleShot(true);
        m_qtTimer->setTimerType(Qt::PreciseTimer);
        connect(m_qtTimer, &QTimer::timeout, this, &HiTimer::poll);
    }
}

HiTimer::~HiTimer()
{
#if defined(Q_OS_LINUX)
    // The notifier must not outlive the descriptor it watches.
    delete m_notifier;
    m_notifier = nullptr;
    if (m_timerFd >= 0)
        ::close(m_timerFd);
#endif
}

void HiTimer::setEnabled(bool on)
{
    if (on == m_on)
        return;
    m_on = on;
    if (!on) {
        disarm();
        return;
    }
    m_start = m_clock.now();
    m_next = 1;
    m_missed = 0;
    arm();
}

bool HiTimer::poll()
{
    if (!m_on || m_delivering)
        return false;

    const nanoseconds now = m_clock.now();
    if (now < nextDeadline()) {
        arm();
        return false;
    }

    // Every deadline up to and including `reached` has passed; the tick stands for the last of them.
    const std::int64_t reached = (now - m_start) / m_period;
    const std::int64_t missed = reached - m_next;
    m_missed = static_cast<int>(std::min<std::int64_t>(missed, std::numeric_limits<int>::max()));
    m_lastDeadline = m_start + reached * m_period;
    m_next = reached + 1;

    {
        // The source is re-armed only after the handler returns, so a nested event loop inside the handler
        // sees no tick; a handler that switches the timer off is obeyed because arm() checks the switch.
        const FlagScope delivering(m_delivering);
        emit tick();
    }
    arm();
    return true;
}

void HiTimer::arm()
{
    if (!m_on || m_delivering)
        return;
    const nanoseconds deadline = nextDeadline();

    if (m_wakeUp == WakeUp::QtTimer) {
        const nanoseconds delay = std::max(deadline - m_clock.now(), nanoseconds(0));
        // Round up: waking before the deadline would only cost another round trip.
        const auto ms = std::chrono::ceil<std::chrono::milliseconds>(delay);
        m_qtTimer->start(ms);
        return;
    }

#if defined(Q_OS_LINUX)
    if (m_wakeUp == WakeUp::TimerFd) {
        // With the steady clock the deadline is already on CLOCK_MONOTONIC; any other clock is translated
        // through its distance to the deadline, read afresh each time so no error accumulates.
        const nanoseconds target = m_clockIsSteady ? deadline : monotonicNow() + (deadline - m_clock.now());
        itimerspec spec{};
        spec.it_value = toTimespec(target);
        ::timerfd_settime(m_timerFd, TFD_TIMER_ABSTIME, &spec, nullptr);
        m_notifier->setEnabled(true);
    }
#endif
}

void HiTimer::disarm()
{
    if (m_qtTimer != nullptr)
        m_qtTimer->stop();
#if defined(Q_OS_LINUX)
    if (m_timerFd >= 0) {
        const itimerspec off{};
        ::timerfd_settime(m_timerFd, 0, &off, nullptr);
        // Drain an expiry that was already signalled so the notifier does not wake us for nothing.
        std::uint64_t expirations = 0;
        while (::read(m_timerFd, &expirations, sizeof expirations) < 0 && errno == EINTR) {
        }
    }
#endif
}

void HiTimer::onTimerFd()
{
#if defined(Q_OS_LINUX)
    std::uint64_t expirations = 0;
    while (::read(m_timerFd, &expirations, sizeof expirations) < 0 && errno == EINTR) {
    }
    // The expiration count is not used: missed deadlines are counted on the injected clock, which need not
    // be the one the descriptor runs on. Woken inside a tick handler's nested event loop, poll() declines
    // and the source is re-armed once that handler returns.
    poll();
#endif
}

} // namespace korvo::platform
