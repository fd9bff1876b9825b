#pragma once

#include "protocol/DatagramParser.h"

#include <QHostAddress>
#include <QString>

#include <chrono>
#include <cstdint>
#include <optional>

namespace korvo::follow {

/// What a follower knows of the clock from the datagrams it accepted: the period, the clock text, whether
/// the operator paused, who sent the last datagram and when. Times are monotonic instants the caller
/// passes in, so the rules below hold the same on a display, a web page and in a test.
class FollowedState final
{
public:
    /// A clock silent for longer than this has the age of its last datagram shown.
    static constexpr std::chrono::seconds kQuietAfter{2};

    /// A time datagram: the clock runs (or was corrected) and is no longer paused.
    void showTime(const protocol::TimeDatagram& time, const QHostAddress& sender, std::chrono::nanoseconds now);
    /// "pause": the time stays, the marker goes on.
    void showPause(const QHostAddress& sender, std::chrono::nanoseconds now);

    /// Whether any datagram arrived yet; before that there is nothing but "--:--".
    [[nodiscard]] bool hasHeard() const { return m_lastUpdate.has_value(); }
    /// The clock as the clock shows it, or "--:--" before the first time datagram.
    [[nodiscard]] QString clockText() const;
    [[nodiscard]] bool hasTime() const { return m_period.has_value(); }
    [[nodiscard]] std::optional<std::int16_t> period() const { return m_period; }
    [[nodiscard]] bool isPaused() const { return m_paused; }
    /// The sender of the last accepted datagram; null before the first.
    [[nodiscard]] const QHostAddress& sender() const { return m_sender; }
    /// Time since the last accepted datagram, or nothing before the first.
    [[nodiscard]] std::optional<std::chrono::nanoseconds> age(std::chrono::nanoseconds now) const;
    /// The whole seconds of silence to show, once the clock has been silent for more than kQuietAfter.
    [[nodiscard]] std::optional<std::chrono::seconds> quietFor(std::chrono::nanoseconds now) const;

private:
    void heardFrom(const QHostAddress& sender, std::chrono::nanoseconds now);

    QString m_clockText;
    std::optional<std::int16_t> m_period;
    bool m_paused = false;
    QHostAddress m_sender;
    std::optional<std::chrono::nanoseconds> m_lastUpdate;
};

} // namespace korvo::follow
