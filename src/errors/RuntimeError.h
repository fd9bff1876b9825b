#pragma once

#include <QString>

#include <cstdint>
#include <exception>

namespace korvo::errors {

/// Well-known run-time error numbers. The report shows the number, so these are part of the product.
namespace err {
inline constexpr std::int32_t InvalidCall = 5;
inline constexpr std::int32_t Overflow = 6;
inline constexpr std::int32_t OutOfMemory = 7;
inline constexpr std::int32_t SubscriptOutOfRange = 9;
inline constexpr std::int32_t DivisionByZero = 11;
inline constexpr std::int32_t TypeMismatch = 13;
inline constexpr std::int32_t InternalError = 51;
inline constexpr std::int32_t BadFileName = 52;
inline constexpr std::int32_t FileNotFound = 53;
inline constexpr std::int32_t InputPastEndOfFile = 62;
inline constexpr std::int32_t PathFileAccess = 75;
inline constexpr std::int32_t PathNotFound = 76;
inline constexpr std::int32_t InvalidFileFormat = 321;
inline constexpr std::int32_t ObjectNotSet = 91;
inline constexpr std::int32_t InvalidPropertyValue = 380;
inline constexpr std::int32_t CannotSizeMinMax = 384;
inline constexpr std::int32_t NoSuchMember = 438;
inline constexpr std::int32_t Crash = 65535;
} // namespace err

/// A failing step raises this; the procedure's handler catches it. It never crosses a procedure.
class RuntimeError final : public std::exception
{
public:
    RuntimeError(std::int32_t number, QString description)
        : m_number(number)
        , m_description(std::move(description))
    {
    }

    [[nodiscard]] std::int32_t number() const noexcept { return m_number; }
    [[nodiscard]] const QString& description() const noexcept { return m_description; }
    [[nodiscard]] const char* what() const noexcept override { return "korvo run-time error"; }

private:
    std::int32_t m_number;
    QString m_description;
};

/// The usual short description for the numbers above ("Overflow", "Type mismatch", ...).
[[nodiscard]] QString standardDescription(std::int32_t number);

[[noreturn]] void raise(std::int32_t number);
[[noreturn]] void raise(std::int32_t number, const QString& description);

} // namespace korvo::errors
