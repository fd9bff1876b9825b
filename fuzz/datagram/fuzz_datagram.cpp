// Any bytes must give a verdict without a crash or undefined behaviour, and an accepted time must be
// one the clock could have sent, reading back the same.
#include "protocol/DatagramParser.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

using namespace korvo::protocol;

namespace {

void require(bool condition)
{
    if (!condition)
        std::abort();
}

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const Datagram result = parseDatagram(bytes);

    if (const auto* time = std::get_if<TimeDatagram>(&result)) {
        require(size <= kMaxDatagramSize);
        require(time->period >= 1);
        const std::string& clock = time->clock;
        const std::size_t colon = clock.find(':');
        require(colon != std::string::npos && colon >= 2 && colon <= 3 && colon + 3 == clock.size());
        for (std::size_t i = 0; i < clock.size(); ++i)
            require(i == colon || isDigit(clock[i]));
        require(clock[colon + 1] <= '5');
        // The input is "p", the period (perhaps zero-padded), "t" and the clock text, and the canonical
        // message reads back the same.
        const std::string period = std::to_string(time->period);
        const std::string tail = period + "t" + clock;
        require(bytes.size() > tail.size() && bytes.substr(bytes.size() - tail.size()) == tail);
        require(bytes.front() == 'p');
        for (const char c : bytes.substr(1, bytes.size() - tail.size() - 1))
            require(c == '0');
        const std::string canonical = "p" + tail;
        const Datagram again = parseDatagram(canonical);
        const auto* reread = std::get_if<TimeDatagram>(&again);
        require(reread != nullptr && *reread == *time);
    } else if (std::holds_alternative<PauseDatagram>(result)) {
        require(bytes == "pause");
    } else {
        const auto& rejected = std::get<RejectedDatagram>(result);
        require(!describe(rejected.why).empty());
    }
    return 0;
}
