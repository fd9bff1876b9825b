#include "model/TimeText.h"

#include "errors/Procedure.h"
#include "model/CheckedArithmetic.h"

#include <cmath>

namespace korvo::model {

QString clockText(std::int64_t minutes, std::int64_t seconds)
{
    return format00(minutes) + QLatin1Char(':') + format00(seconds);
}

} // namespace korvo::model

namespace korvo::model::common {

QString SEC2TIME(errors::Trap& trap, std::int32_t seconds)
{
    errors::Procedure p(trap, kModule, "SEC2TIME");
    std::int16_t minutes = 0;
    std::int16_t rest = 0;
    p([&] { minutes = floorTo16(std::floor(static_cast<double>(seconds) / 60.0)); });
    p([&] { rest = narrow16(sub32(seconds, mul16(minutes, 60))); });
    QString text;
    p([&] { text = clockText(minutes, rest); });
    return text;
}

std::int32_t TIME2SEC(errors::Trap& trap, const QString& text)
{
    errors::Procedure p(trap, kModule, "TIME2SEC");
    std::int16_t minutes = 0;
    std::int16_t seconds = 0;
    std::int32_t result = 0;
    p([&] { minutes = textTo16(QStringView(text).mid(0, 2)); });
    p([&] { seconds = textTo16(QStringView(text).mid(3, 2)); });
    p([&] { result = add16(mul16(minutes, 60), seconds); });
    return result;
}

} // namespace korvo::model::common
