#pragma once

#include <QString>

#include <cstdint>

namespace korvo::model {

/// UDP port the clock broadcasts to; remote displays listen on it.
inline constexpr std::uint16_t kBroadcastPort = 7699;
/// Destination host of the first time message, before the operator's address is applied.
inline constexpr const char* kLoadTimeHost = "192.168.000.255";

/// "p", the period number in plain decimal, "t", the clock text: p1t10:00, p12t04:05.
[[nodiscard]] inline QString timeMessage(std::int16_t period, const QString& clockText)
{
    return QLatin1Char('p') + QString::number(period) + QLatin1Char('t') + clockText;
}

/// Sent when the operator pauses the clock.
inline constexpr const char* kPauseMessage = "pause";

} // namespace korvo::model
