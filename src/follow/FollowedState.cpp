#include "follow/FollowedState.h"

namespace korvo::follow {

void FollowedState::showTime(const protocol::TimeDatagram& time, const QHostAddress& sender,
                             std::chrono::nanoseconds now)
{
    m_clockText = QString::fromLatin1(time.clock.data(), static_cast<qsizetype>(time.clock.size()));
    m_period = time.period;
    m_paused = false;
    heardFrom(sender, now);
}

void FollowedState::showPause(const QHostAddress& sender, std::chrono::nanoseconds now)
{
    m_paused = true;
    heardFrom(sender, now);
}

void FollowedState::heardFrom(const QHostAddress& sender, std::chrono::nanoseconds now)
{
    m_sender = sender;
    m_lastUpdate = now;
}

QString FollowedState::clockText() const
{
    return m_period ? m_clockText : QStringLiteral("--:--");
}

std::optional<std::chrono::nanoseconds> FollowedState::age(std::chrono::nanoseconds now) const
{
    if (!m_lastUpdate)
        return std::nullopt;
    return now - *m_lastUpdate;
}

std::optional<std::chrono::seconds> FollowedState::quietFor(std::chrono::nanoseconds now) const
{
    const auto silence = age(now);
    if (!silence || *silence <= kQuietAfter)
        return std::nullopt;
    return std::chrono::duration_cast<std::chrono::seconds>(*silence);
}

} // namespace korvo::follow
