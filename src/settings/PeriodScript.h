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

/// Why a legend/time pair of a file is not taken into the table.
enum class RowFault {
    Empty,            ///< legend and time both empty: written back, it would read as the file's end
    TooLong,          ///< a line longer than kMaxCellLength
    ControlCharacter, ///< the legend holds what the legend box refuses
};

/// A pair of lines left out, by the file's line number of its legend (the keyword is line 1).
struct LeftOutRow
{
    qsizetype line = 0;
    RowFault why = RowFault::Empty;

    friend bool operator==(const LeftOutRow&, const LeftOutRow&) = default;
};

/// What a period-set file holds.
struct PeriodFile
{
    /// Absent when the first line is neither keyword; that line is then skipped, never taken as a legend.
    std::optional<Direction> direction;
    /// Complete legend/time pairs in file order, but for those left out.
    std::vector<PeriodRow> rows;
    /// Complete pairs that the window could not show or save as they are.
    std::vector<LeftOutRow> leftOut;
    /// The last legend had no time line. That legend is not in rows.
    bool incomplete = false;
};

/// The "Period Script" text format: the direction keyword, then legend and time lines in turn.
namespace PeriodScript {

inline constexpr const char* kTimePass = "TimePass";
inline constexpr const char* kTimeLeft = "TimeLeft";
/// The longest legend or time a file may hold: far more than the legend box takes (15), short enough for
/// any window caption.
inline constexpr qsizetype kMaxCellLength = 255;

/// The file's lines, every one of them. Bytes are read as UTF-8, or as Windows-1252 when they are not
/// valid UTF-8 (bytes that code page leaves undefined as Latin-1), so no byte is ever lost; a leading byte-order mark is dropped. A line ends at CR LF, CR or LF;
/// a last line without its line end counts.
[[nodiscard]] QStringList lines(const QByteArray& bytes);

/// Reads a whole file. Empty lines at its very end are ignored, except that an empty line right after
/// the last legend is that legend's (empty) time. Never fails: a legend without its time line and the
/// pairs of RowFault are flagged, not thrown.
[[nodiscard]] PeriodFile read(const QByteArray& bytes);

/// The exact bytes of a file: the keyword line, then each row's legend and time, every line ended by
/// CR LF, UTF-8 without a byte-order mark.
[[nodiscard]] QByteArray write(Direction direction, const std::vector<PeriodRow>& rows);

} // namespace PeriodScript

} // namespace korvo::settings
