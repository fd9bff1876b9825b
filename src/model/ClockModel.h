#pragma once

#include "model/PeriodRec.h"

#include <QString>

#include <cstdint>
#include <optional>
#include <vector>

namespace korvo::errors {
class Procedure;
}

namespace korvo::model {

inline constexpr std::int32_t COUNT_UP = 1;
inline constexpr std::int32_t COUNT_DOWN = 2;

/// The program-wide clock state and the applied period set. One instance lives for the whole process;
/// both windows read and write it directly.
class ClockModel final
{
public:
    std::int32_t CUR_SECONDS = 0;
    std::int32_t PERIOD_SECONDS = 0;
    std::int32_t TIME_MODE = 0;
    std::int16_t CUR_PERIOD = 0;
    std::int16_t PERIOD_COUNT = 0;
    /// Entries 1 … PERIOD_COUNT; entry 0 exists and stays empty. Absent until a set is applied.
    std::optional<std::vector<PERIOD_REC>> PERIODS;
    std::int16_t CLOCK_RUNNING = kFalse;
    QString BROADCAST_IP;

    /// Replace the whole set (periods given in playing order, without the empty entry 0), set the
    /// direction and destination, and make period 1 current. The clock value is left to the start rule.
    void applySet(const std::vector<PERIOD_REC>& periods, std::int32_t timeMode, const QString& broadcastIp);

    /// PERIODS(CUR_PERIOD); error 9 when no list exists or the number is outside it.
    [[nodiscard]] PERIOD_REC& currentRecord();
    /// PERIODS(number); error 9 as above.
    [[nodiscard]] PERIOD_REC& record(std::int32_t number);

    /// The current record's duration text: Minutes "00", ":", Seconds "00".
    [[nodiscard]] QString durationText();
};

/// The period start rule, as two steps of the calling procedure (reported at the caller's line):
/// PERIOD_SECONDS = TIME2SEC(duration text); CUR_SECONDS = duration when counting down, else 0.
void startPeriod(errors::Procedure& p, ClockModel& model, int line);

} // namespace korvo::model
