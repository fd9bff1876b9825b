#pragma once

#include <QString>
#include <QStringView>

#include <algorithm>

#include <cstdint>

namespace korvo::model {

/// 16-bit Booleans: 0 false, -1 true.
inline constexpr std::int16_t kFalse = 0;
inline constexpr std::int16_t kTrue = -1;

/// A legend is shown on one line (a label, a window caption) and stored as one line of a period-set file:
/// it holds no control character (tab, NUL, ...) and no line or paragraph separator.
[[nodiscard]] inline bool isLegendText(QStringView text)
{
    return std::none_of(text.begin(), text.end(), [](QChar c) {
        const QChar::Category category = c.category();
        return category == QChar::Other_Control || category == QChar::Separator_Line
            || category == QChar::Separator_Paragraph;
    });
}

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
