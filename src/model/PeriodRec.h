#pragma once

#include <QString>

#include <cstdint>

namespace korvo::model {

/// 16-bit Booleans: 0 false, -1 true.
inline constexpr std::int16_t kFalse = 0;
inline constexpr std::int16_t kTrue = -1;

/// One period of a set.
struct PERIOD_REC
{
    QString Descr;
    std::int16_t AskMe = kFalse;
    std::int16_t Minutes = 0; ///< -1 while AskMe and not asked yet
    std::int16_t Seconds = 0; ///< -1 while AskMe and not asked yet

    friend bool operator==(const PERIOD_REC&, const PERIOD_REC&) = default;
};

} // namespace korvo::model
