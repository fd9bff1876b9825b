#include "clock/LastGame.h"

#include "model/ClockModel.h"
#include "model/Journal.h"
#include "platform/Dialogs.h"
#include "platform/JournalStore.h"

#include <QTextStream>

namespace korvo::clock {

std::optional<model::ClockModel> offerLastGame(platform::JournalStore& journal, platform::Dialogs& dialogs,
                                               ResumeOffer offer, QTextStream& errors)
{
    const std::optional<QByteArray> bytes = journal.read();
    if (!bytes)
        return std::nullopt;
    QString fault;
    std::optional<model::SavedGame> game = model::readJournal(*bytes, fault);
    if (!game) {
        const QString kept = journal.setAside();
        errors << "korvo-timer: the saved game cannot be resumed (" << fault << "); "
               << (kept.isEmpty() ? QStringLiteral("it could not be set aside")
                                  : QStringLiteral("set aside as ") + kept)
               << Qt::endl;
        return std::nullopt;
    }
    const bool offered = offer == ResumeOffer::Always || (offer == ResumeOffer::IfUnfinished && !game->finished);
    if (offered && dialogs.askYesNo(model::resumeQuestion(*game)) == platform::Dialogs::Reply::Yes)
        return std::move(game->clock);
    if (!game->finished || offered)
        journal.setAside();
    return std::nullopt;
}

void finishGame(platform::JournalStore& journal, const model::ClockModel& model)
{
    // Without a set this run has saved nothing, and the journal on disk is not its own.
    if (!model.PERIODS)
        return;
    journal.save(model::journalBytes(model, true));
    journal.flush();
}

} // namespace korvo::clock
