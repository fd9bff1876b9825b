#include "protocol/DottedDecimal.h"

#include <QStringList>

namespace korvo::protocol {

std::optional<std::uint32_t> parseDottedDecimal(const QString& text)
{
    const QStringList fields = text.split(QLatin1Char('.'));
    if (fields.size() != 4)
        return std::nullopt;
    std::uint32_t address = 0;
    for (const QString& field : fields) {
        if (field.isEmpty())
            return std::nullopt;
        unsigned value = 0;
        for (const QChar c : field) {
            if (c < QLatin1Char('0') || c > QLatin1Char('9'))
                return std::nullopt;
            value = value * 10 + static_cast<unsigned>(c.unicode() - u'0');
            if (value > 255)
                return std::nullopt;
        }
        address = (address << 8) | value;
    }
    return address;
}

} // namespace korvo::protocol
