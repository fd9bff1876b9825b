#pragma once

#include "model/ClockModel.h"

#include <QByteArray>
#include <QString>

#include <optional>

namespace korvo::model {

/// The journal's format; a journal of any other version is never read.
inline constexpr int kJournalVersion = 1;

/// The game as the journal keeps it between runs.
struct SavedGame
{
    ClockModel clock;
    bool finished = false; ///< the run that wrote it ended normally
};

/// The applied set and the clock, as the journal's bytes (one JSON object).
[[nodiscard]] QByteArray journalBytes(const ClockModel& clock, bool finished);

/// The game the bytes hold. Nothing when they are not a whole journal of this version, or one the clock
/// could not have written (a field of the wrong kind, the period outside the set, the clock outside its
/// period); `fault` then says why in a few words.
[[nodiscard]] std::optional<SavedGame> readJournal(const QByteArray& bytes, QString& fault);

/// The operator's question before the game is resumed.
[[nodiscard]] QString resumeQuestion(const SavedGame& game);

} // namespace korvo::model
