#pragma once

#include <QJsonObject>
#include <QList>
#include <QString>

#include <optional>

namespace korvo::bench {

/// One line of the results table: the project's value beside the baseline's, and the goal the project's
/// value must reach.
struct Figure
{
    enum class Goal { None, Equal, Below };

    QString key;   ///< stable name in the JSON, e.g. "drift_50ms"
    QString label; ///< the table's first column
    QString unit;
    std::optional<double> project;
    std::optional<double> baseline;
    Goal goal = Goal::None;
    double goalValue = 0;
    QString note; ///< how it was measured, or why a value is missing

    [[nodiscard]] std::optional<bool> met() const;
    [[nodiscard]] QString goalText() const;
    [[nodiscard]] QJsonObject toJson() const;
    [[nodiscard]] static Figure fromJson(const QJsonObject& object);
};

using Figures = QList<Figure>;

/// Writes a part of the results (one measurement step) as JSON: {"figures": [...], "extra": {...}}.
bool writeFigures(const QString& path, const Figures& figures, const QJsonObject& extra = {});
/// Reads the figures of one part; an unreadable file gives none and a message on stderr.
Figures readFigures(const QString& path);

/// The machine the figures were taken on: cores, processor, kernel, Qt, load average.
[[nodiscard]] QJsonObject machineInfo();

/// The table, as printed by the report step.
[[nodiscard]] QString formatTable(const Figures& figures, const QJsonObject& machine);

} // namespace korvo::bench
