#pragma once

#include <QStringView>

#include <cstdint>

/// Whole-number arithmetic that raises an overflow (error 6) instead of wrapping, and the
/// conversions between text, floating point and whole numbers that the clock relies on.
namespace korvo::model {

/// Narrow to 16 bits; error 6 outside -32768 … 32767.
[[nodiscard]] std::int16_t narrow16(std::int64_t value);
/// Narrow to 32 bits; error 6 outside the 32-bit range.
[[nodiscard]] std::int32_t narrow32(std::int64_t value);

[[nodiscard]] std::int16_t add16(std::int16_t a, std::int16_t b);
[[nodiscard]] std::int16_t sub16(std::int16_t a, std::int16_t b);
[[nodiscard]] std::int16_t mul16(std::int16_t a, std::int16_t b);
[[nodiscard]] std::int32_t add32(std::int32_t a, std::int32_t b);
[[nodiscard]] std::int32_t sub32(std::int32_t a, std::int32_t b);
[[nodiscard]] std::int32_t mul32(std::int32_t a, std::int32_t b);

/// Round to the nearest whole number, halves to even (2.5 → 2, 3.5 → 4), then narrow; error 6 when it
/// does not fit (NaN included).
[[nodiscard]] std::int16_t roundTo16(double value);
[[nodiscard]] std::int32_t roundTo32(double value);
/// Round towards minus infinity, then narrow.
[[nodiscard]] std::int16_t floorTo16(double value);

/// A whole text read as a number, for conversions that must reject what is not one: blanks around it,
/// an optional sign, digits with an optional fraction and exponent. Anything else (including an empty
/// text) is a type mismatch (error 13).
[[nodiscard]] double numberFromText(QStringView text);
/// numberFromText, then roundTo16: "-1" → -1, "5:" → error 13, "40000" → error 6.
[[nodiscard]] std::int16_t textTo16(QStringView text);

/// The number read from a piece of text: its leading number (blanks ignored, an optional sign, then
/// decimal digits; reading stops at the first other character; 0 when no digit comes first).
/// Never fails: "1__" → 1, "___" → 0, "-5x" → -5.
[[nodiscard]] double leadingNumber(QStringView text);

/// Numeric format "00": at least two digits, minus sign in front (5 → "05", -1 → "-01", 125 → "125").
[[nodiscard]] QString format00(std::int64_t value);
/// Numeric format "000": at least three digits.
[[nodiscard]] QString format000(std::int64_t value);

} // namespace korvo::model
