#pragma once

#include "errors/ErrorReporter.h"

#include <QtGlobal>

#include <optional>

class QTextStream;

namespace korvo::model {
class ClockModel;
}

namespace korvo::platform {
class Dialogs;
class JournalStore;
} // namespace korvo::platform

namespace korvo::clock {

/// When start-up offers the game the last run left.
enum class ResumeOffer {
    IfUnfinished, ///< only when that run did not end normally (the default)
    Always,       ///< also after a normal end (--resume)
    Never,        ///< never (--no-resume)
};

/// Start-up's look at the journal, before the settings window: asks the operator whether to resume the
/// game it holds and gives that game on Yes. A game not resumed that did not end normally is set aside
/// (renamed with the date), so that this run's journal never takes its place; so is a journal that cannot
/// be trusted, with one line on `errors`. A finished game not offered stays until this run saves its own.
[[nodiscard]] std::optional<model::ClockModel> offerLastGame(platform::JournalStore& journal,
                                                             platform::Dialogs& dialogs, ResumeOffer offer,
                                                             QTextStream& errors);

/// The program ends normally: this run's game, if it has one, is marked finished and on disk on return.
void finishGame(platform::JournalStore& journal, const model::ClockModel& model);

/// Ends the program as `end` does, once the game is marked finished (End, Abort in an error report).
class FinishingEnd final : public errors::ProcessEnd
{
    Q_DISABLE_COPY_MOVE(FinishingEnd)
public:
    FinishingEnd(platform::JournalStore& journal, const model::ClockModel& model, errors::ProcessEnd& end)
        : m_journal(journal)
        , m_model(model)
        , m_end(end)
    {
    }
    void endProgram() override
    {
        finishGame(m_journal, m_model);
        m_end.endProgram();
    }

private:
    platform::JournalStore& m_journal;
    const model::ClockModel& m_model;
    errors::ProcessEnd& m_end;
};

} // namespace korvo::clock
