#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <variant>

namespace korvo::protocol {

/// Largest datagram the clock could ever send, with room to spare; anything longer is not from a clock.
inline constexpr std::size_t kMaxDatagramSize = 64;

/// "p<period>t<clock>": the clock's time in one period.
struct TimeDatagram
{
    std::int16_t period = 0;
    std::string clock; ///< as the clock shows it, e.g. "10:00" or "100:00"

    friend bool operator==(const TimeDatagram&, const TimeDatagram&) = default;
};

/// "pause": the operator has paused the clock.
struct PauseDatagram
{
    friend bool operator==(const PauseDatagram&, const PauseDatagram&) = default;
};

enum class Rejection : std::uint8_t {
    Empty,
    Oversized,
    NonAscii,
    UnknownTag,      ///< neither "p<digit>" nor "pause"
    PeriodOutOfRange, ///< 0, or more than 32767
    MissingClockTag, ///< the period digits are not followed by "t"
    BadMinutes,      ///< not two or three digits before ":"
    BadSeconds,      ///< not exactly two digits 00..59 after ":"
    TrailingBytes,   ///< a well-formed message followed by anything at all
};

struct RejectedDatagram
{
    Rejection why = Rejection::Empty;

    friend bool operator==(const RejectedDatagram&, const RejectedDatagram&) = default;
};

using Datagram = std::variant<TimeDatagram, PauseDatagram, RejectedDatagram>;

/// Reads one datagram's payload. Total: any bytes give a result, never an exception.
[[nodiscard]] Datagram parseDatagram(std::string_view bytes);

/// Short English text for logs and the --print output, e.g. "period out of range".
[[nodiscard]] std::string_view describe(Rejection why);

} // namespace korvo::protocol
