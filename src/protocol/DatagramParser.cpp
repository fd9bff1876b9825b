#include "protocol/DatagramParser.h"

#include "protocol/TimeMessage.h"

#include <algorithm>

namespace korvo::protocol {

namespace {

constexpr int kMaxPeriod = 32767;

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

int digitValue(char c)
{
    return c - '0';
}

/// Cursor over the payload; every read checks the end, so no input can run it off the buffer.
class Reader
{
public:
    explicit Reader(std::string_view bytes) : m_bytes(bytes) {}

    [[nodiscard]] bool atEnd() const { return m_pos == m_bytes.size(); }
    [[nodiscard]] bool peekDigit() const { return !atEnd() && isDigit(m_bytes[m_pos]); }

    bool take(char c)
    {
        if (atEnd() || m_bytes[m_pos] != c)
            return false;
        ++m_pos;
        return true;
    }

    /// Consumes a run of digits; returns how many.
    std::size_t digits(std::string_view* run)
    {
        const std::size_t start = m_pos;
        while (peekDigit())
            ++m_pos;
        *run = m_bytes.substr(start, m_pos - start);
        return run->size();
    }

private:
    std::string_view m_bytes;
    std::size_t m_pos = 0;
};

RejectedDatagram reject(Rejection why)
{
    return RejectedDatagram{why};
}

/// The period's decimal digits as a number, or 0 when it is not 1..32767. Leading zeros are allowed;
/// the value is capped while reading so that a long run of digits cannot overflow.
int periodValue(std::string_view run)
{
    int value = 0;
    for (const char c : run) {
        value = value * 10 + digitValue(c);
        if (value > kMaxPeriod)
            return 0;
    }
    return value;
}

} // namespace

Datagram parseDatagram(std::string_view bytes)
{
    if (bytes.empty())
        return reject(Rejection::Empty);
    if (bytes.size() > kMaxDatagramSize)
        return reject(Rejection::Oversized);
    if (std::any_of(bytes.begin(), bytes.end(), [](char c) { return static_cast<unsigned char>(c) > 0x7F; }))
        return reject(Rejection::NonAscii);

    if (bytes.substr(0, kPauseMessage.size()) == kPauseMessage)
        return bytes.size() == kPauseMessage.size() ? Datagram{PauseDatagram{}} : Datagram{reject(Rejection::TrailingBytes)};

    Reader in(bytes);
    if (!in.take('p') || !in.peekDigit())
        return reject(Rejection::UnknownTag);

    std::string_view periodRun;
    in.digits(&periodRun);
    const int period = periodValue(periodRun);
    if (period == 0)
        return reject(Rejection::PeriodOutOfRange);
    if (!in.take('t'))
        return reject(Rejection::MissingClockTag);

    // The clock's minutes have two digits, three from 100 minutes on (its largest text is 546:59).
    std::string_view minutes;
    const std::size_t minuteDigits = in.digits(&minutes);
    if (minuteDigits < 2 || minuteDigits > 3 || !in.take(':'))
        return reject(Rejection::BadMinutes);

    std::string_view seconds;
    if (in.digits(&seconds) != 2 || digitValue(seconds[0]) > 5)
        return reject(Rejection::BadSeconds);
    if (!in.atEnd())
        return reject(Rejection::TrailingBytes);

    std::string clock;
    clock.reserve(minutes.size() + 3);
    clock.append(minutes).append(":").append(seconds);
    return TimeDatagram{static_cast<std::int16_t>(period), std::move(clock)};
}

std::string_view describe(Rejection why)
{
    switch (why) {
    case Rejection::Empty: return "empty";
    case Rejection::Oversized: return "longer than 64 bytes";
    case Rejection::NonAscii: return "not ASCII";
    case Rejection::UnknownTag: return "neither a time nor a pause message";
    case Rejection::PeriodOutOfRange: return "period out of range";
    case Rejection::MissingClockTag: return "no \"t\" after the period";
    case Rejection::BadMinutes: return "minutes need two or three digits and \":\"";
    case Rejection::BadSeconds: return "seconds need exactly two digits, 00 to 59";
    case Rejection::TrailingBytes: return "unexpected bytes after the message";
    }
    return "unknown";
}

} // namespace korvo::protocol
