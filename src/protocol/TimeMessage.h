#pragma once

#include <QString>

#include <cstdint>
#include <string_view>

/// The clock's datagrams as they travel: where they go and what they say. Every program that sends or
/// reads them takes these from here.
namespace korvo::protocol {

/// UDP port the clock broadcasts to; remote displays listen on it.
inline constexpr std::uint16_t kBroadcastPort = 7699;
/// Destination host of the first time message, before the operator's address is applied.
inline constexpr const char* kLoadTimeHost = "192.168.000.255";

/// Sent when the operator pauses the clock.
inline constexpr std::string_view kPauseMessage = "pause";

/// "p", the period number in plain decimal, "t", the clock text: p1t10:00, p12t04:05.
[[nodiscard]] inline QString timeMessage(std::int16_t period, const QString& clockText)
{
    return QLatin1Char('p') + QString::number(period) + QLatin1Char('t') + clockText;
}

/// The pause message as the socket sends text.
[[nodiscard]] inline QString pauseMessage()
{
    return QLatin1String(kPauseMessage.data(), static_cast<qsizetype>(kPauseMessage.size()));
}

} // namespace korvo::protocol
