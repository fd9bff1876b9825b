#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

namespace korvo::settings {

/// The counting direction a period-set file names on its first line.
enum class Direction {
    Pass, ///< "TimePass": the clock counts up
    Left, ///< "TimeLeft": the clock counts down
};

/// One row of the period table: the legend cell and the time cell, exactly as they stand.
struct PeriodRow
{
    QString legend;
    QString time;

    friend bool operator==(const PeriodRow&, const PeriodRow&) = default;
};

/// What a period-set file holds.
struct PeriodFile
{
    /// Absent when the first line is neither keyword; that line is then skipped, never taken as a legend.
    std::optional<Direction> direction;
    /// Complete legend/time pairs in file order.
    std::vector<PeriodRow> rows;
    /// The last legend had no time line. That legend is not in rows.
    bool incomplete = false;
};

/// The "Period Script" text format: the direction keyword, then legend and time lines in turn.
namespace PeriodScript {

inline constexpr const char* kTimePass = "TimePass";
inline constexpr const char* kTimeLeft = "TimeLeft";

/// The file's lines, every one of them. Bytes are read as UTF-8, or as Latin-1 when they are not valid
/// UTF-8, so no byte is ever lost; a leading byte-order mark is dropped. A line ends at CR LF, CR or LF;
/// a last line without its line end counts.
[[nodiscard]] QStringList lines(const QByteArray& bytes);

/// Reads a whole file. Empty lines at its very end are ignored, except that an empty line right after
/// the last legend is that legend's (empty) time. Never fails: a legend without its time line is
/// flagged, not thrown.
[[nodiscard]] PeriodFile read(const QByteArray& bytes);

/// The exact bytes of a file: the keyword line, then each row's legend and time, every line ended by
/// CR LF, UTF-8 without a byte-order mark.
[[nodiscard]] QByteArray write(Direction direction, const std::vector<PeriodRow>& rows);

} // namespace PeriodScript

} // namespace korvo::settings
