#include "model/CheckedArithmetic.h"

#include "errors/RuntimeError.h"

#include <QString>

#include <cmath>
#include <limits>

namespace korvo::model {

using errors::err::Overflow;
using errors::err::TypeMismatch;

namespace {

template <class T>
T narrow(std::int64_t value)
{
    if (value < std::numeric_limits<T>::min() || value > std::numeric_limits<T>::max())
        errors::raise(Overflow);
    return static_cast<T>(value);
}

template <class T>
T roundTo(double value)
{
    // nearbyint rounds halves to even in the default rounding mode.
    const double r = std::nearbyint(value);
    if (!(r >= static_cast<double>(std::numeric_limits<T>::min()) && r <= static_cast<double>(std::numeric_limits<T>::max())))
        errors::raise(Overflow);
    return static_cast<T>(r);
}

QString formatPadded(std::int64_t value, int digits)
{
    const std::uint64_t magnitude = value < 0 ? 0 - static_cast<std::uint64_t>(value) : static_cast<std::uint64_t>(value);
    QString text = QString::number(magnitude).rightJustified(digits, QLatin1Char('0'));
    if (value < 0)
        text.prepend(QLatin1Char('-'));
    return text;
}

bool isBlank(QChar c)
{
    return c == QLatin1Char(' ') || c == QLatin1Char('\t');
}

} // namespace

std::int16_t narrow16(std::int64_t value) { return narrow<std::int16_t>(value); }
std::int32_t narrow32(std::int64_t value) { return narrow<std::int32_t>(value); }

std::int16_t add16(std::int16_t a, std::int16_t b) { return narrow16(std::int64_t{a} + b); }
std::int16_t sub16(std::int16_t a, std::int16_t b) { return narrow16(std::int64_t{a} - b); }
std::int16_t mul16(std::int16_t a, std::int16_t b) { return narrow16(std::int64_t{a} * b); }
std::int32_t add32(std::int32_t a, std::int32_t b) { return narrow32(std::int64_t{a} + b); }
std::int32_t sub32(std::int32_t a, std::int32_t b) { return narrow32(std::int64_t{a} - b); }
std::int32_t mul32(std::int32_t a, std::int32_t b) { return narrow32(std::int64_t{a} * b); }

std::int16_t roundTo16(double value) { return roundTo<std::int16_t>(value); }
std::int32_t roundTo32(double value) { return roundTo<std::int32_t>(value); }
std::int16_t floorTo16(double value) { return roundTo<std::int16_t>(std::floor(value)); }

double numberFromText(QStringView text)
{
    text = text.trimmed();
    if (text.isEmpty())
        errors::raise(TypeMismatch);
    // Only plain decimal notation: no hex, no thousands separators, no locale.
    qsizetype i = 0;
    if (text[i] == QLatin1Char('+') || text[i] == QLatin1Char('-'))
        ++i;
    qsizetype digits = 0;
    while (i < text.size() && text[i].isDigit() && text[i].unicode() < 128) {
        ++i;
        ++digits;
    }
    if (i < text.size() && text[i] == QLatin1Char('.')) {
        ++i;
        while (i < text.size() && text[i].isDigit() && text[i].unicode() < 128) {
            ++i;
            ++digits;
        }
    }
    if (digits == 0)
        errors::raise(TypeMismatch);
    if (i < text.size() && (text[i] == QLatin1Char('e') || text[i] == QLatin1Char('E'))) {
        ++i;
        if (i < text.size() && (text[i] == QLatin1Char('+') || text[i] == QLatin1Char('-')))
            ++i;
        qsizetype expDigits = 0;
        while (i < text.size() && text[i].isDigit() && text[i].unicode() < 128) {
            ++i;
            ++expDigits;
        }
        if (expDigits == 0)
            errors::raise(TypeMismatch);
    }
    if (i != text.size())
        errors::raise(TypeMismatch);
    bool ok = false;
    const double value = text.toString().toDouble(&ok);
    if (!ok || !std::isfinite(value))
        errors::raise(Overflow);
    return value;
}

std::int16_t textTo16(QStringView text)
{
    return roundTo16(numberFromText(text));
}

double leadingNumber(QStringView text)
{
    double value = 0;
    bool negative = false;
    bool signAllowed = true;
    for (const QChar c : text) {
        if (isBlank(c))
            continue;
        if (signAllowed && (c == QLatin1Char('+') || c == QLatin1Char('-'))) {
            negative = c == QLatin1Char('-');
            signAllowed = false;
            continue;
        }
        if (c.unicode() >= '0' && c.unicode() <= '9') {
            value = value * 10 + (c.unicode() - '0');
            signAllowed = false;
            continue;
        }
        break;
    }
    return negative ? -value : value;
}

QString format00(std::int64_t value) { return formatPadded(value, 2); }
QString format000(std::int64_t value) { return formatPadded(value, 3); }

} // namespace korvo::model
