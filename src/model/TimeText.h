#pragma once

#include "errors/Trap.h"

#include <QString>

#include <cstdint>

namespace korvo::model {

/// Minutes and seconds as the clock shows them: each at least two digits, joined by ":" (5, 7 → "05:07";
/// 100, 0 → "100:00").
[[nodiscard]] QString clockText(std::int64_t minutes, std::int64_t seconds);

} // namespace korvo::model

/// Module "common": the clock text conversions. Both are procedures with their own error handler.
namespace korvo::model::common {

inline constexpr const char* kModule = "common";

/// Seconds → clock text "MM:SS" (minutes floored, at least two digits each; 6000 → "100:00",
/// -1 → "-01:59"). Overflow (error 6) outside -32760 … 32819 seconds.
[[nodiscard]] QString SEC2TIME(errors::Trap& trap, std::int32_t seconds);

/// Clock text → seconds, reading characters 1–2 as minutes and 4–5 as seconds (character 3 is not
/// examined). Type mismatch (error 13) when either piece is not a number.
[[nodiscard]] std::int32_t TIME2SEC(errors::Trap& trap, const QString& text);

} // namespace korvo::model::common
