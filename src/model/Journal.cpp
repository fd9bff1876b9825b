#include "model/Journal.h"

#include "model/CheckedArithmetic.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>

#include <cmath>
#include <limits>

namespace korvo::model {

namespace {

// TIME2SEC reads two digits each of minutes and seconds, so no period the clock enters is longer.
constexpr std::int64_t kLongestPeriod = 99 * 60 + 99;

/// Why a journal is not trusted; thrown and caught inside readJournal only.
struct Refused
{
    QString why;
};

QJsonValue field(const QJsonObject& object, const char* key)
{
    return object.value(QLatin1String(key));
}

std::int64_t whole(const QJsonObject& object, const char* key, std::int64_t low, std::int64_t high)
{
    const QJsonValue value = field(object, key);
    const double d = value.toDouble();
    if (!value.isDouble() || d < static_cast<double>(low) || d > static_cast<double>(high) || d != std::floor(d))
        throw Refused{
            QStringLiteral("%1 is not a whole number from %2 to %3").arg(QLatin1String(key)).arg(low).arg(high)};
    return static_cast<std::int64_t>(d);
}

std::int16_t whole16(const QJsonObject& object, const char* key)
{
    using limits = std::numeric_limits<std::int16_t>;
    return static_cast<std::int16_t>(whole(object, key, limits::min(), limits::max()));
}

std::int16_t flag(const QJsonObject& object, const char* key)
{
    const QJsonValue value = field(object, key);
    if (!value.isBool())
        throw Refused{QStringLiteral("%1 is not true or false").arg(QLatin1String(key))};
    return value.toBool() ? kTrue : kFalse;
}

QString text(const QJsonObject& object, const char* key)
{
    const QJsonValue value = field(object, key);
    if (!value.isString())
        throw Refused{QStringLiteral("%1 is not a text").arg(QLatin1String(key))};
    return value.toString();
}

SavedGame read(const QByteArray& bytes)
{
    if (bytes.isEmpty())
        throw Refused{QStringLiteral("empty or unreadable")};
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(bytes, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        throw Refused{QStringLiteral("not a whole journal")};
    const QJsonObject o = document.object();
    const QJsonValue version = field(o, "version");
    if (!version.isDouble())
        throw Refused{QStringLiteral("no version")};
    if (version.toDouble() != kJournalVersion)
        throw Refused{QStringLiteral("version %1, not %2").arg(version.toDouble()).arg(kJournalVersion)};

    const QJsonValue list = field(o, "PERIODS");
    if (!list.isArray() || list.toArray().size() > std::numeric_limits<std::int16_t>::max())
        throw Refused{QStringLiteral("PERIODS is not a list of periods")};
    std::vector<PERIOD_REC> periods;
    for (const QJsonValue& entry : list.toArray()) {
        if (!entry.isObject())
            throw Refused{QStringLiteral("PERIODS is not a list of periods")};
        const QJsonObject p = entry.toObject();
        periods.push_back({text(p, "Descr"), flag(p, "AskMe"), whole16(p, "Minutes"), whole16(p, "Seconds")});
    }
    const auto timeMode = static_cast<std::int32_t>(whole(o, "TIME_MODE", COUNT_UP, COUNT_DOWN));

    SavedGame game;
    game.finished = flag(o, "finished") != kFalse;
    ClockModel& c = game.clock;
    c.applySet(periods, timeMode, text(o, "BROADCAST_IP"));
    c.CLOCK_RUNNING = flag(o, "CLOCK_RUNNING");
    c.CUR_PERIOD = whole16(o, "CUR_PERIOD");
    if (c.CUR_PERIOD < 1 || c.CUR_PERIOD > c.PERIOD_COUNT)
        throw Refused{QStringLiteral("period %1 of %2").arg(c.CUR_PERIOD).arg(c.PERIOD_COUNT)};
    c.PERIOD_SECONDS = static_cast<std::int32_t>(whole(o, "PERIOD_SECONDS", 0, kLongestPeriod));
    using limits = std::numeric_limits<std::int32_t>;
    c.CUR_SECONDS = static_cast<std::int32_t>(whole(o, "CUR_SECONDS", limits::min(), limits::max()));
    if (c.CUR_SECONDS < 0 || c.CUR_SECONDS > c.PERIOD_SECONDS)
        throw Refused{QStringLiteral("%1 seconds in a period of %2").arg(c.CUR_SECONDS).arg(c.PERIOD_SECONDS)};
    return game;
}

} // namespace

QByteArray journalBytes(const ClockModel& clock, bool finished)
{
    QJsonArray periods;
    for (std::size_t i = 1; clock.PERIODS && i < clock.PERIODS->size(); ++i) {
        const PERIOD_REC& r = (*clock.PERIODS)[i];
        periods.append(QJsonObject{
            {"Descr", r.Descr}, {"AskMe", r.AskMe != kFalse}, {"Minutes", r.Minutes}, {"Seconds", r.Seconds}});
    }
    const QJsonObject object{{"version", kJournalVersion},
                             {"finished", finished},
                             {"TIME_MODE", clock.TIME_MODE},
                             {"PERIODS", periods},
                             {"CUR_PERIOD", clock.CUR_PERIOD},
                             {"PERIOD_SECONDS", clock.PERIOD_SECONDS},
                             {"CUR_SECONDS", clock.CUR_SECONDS},
                             {"CLOCK_RUNNING", clock.CLOCK_RUNNING != kFalse},
                             {"BROADCAST_IP", clock.BROADCAST_IP}};
    return QJsonDocument(object).toJson(QJsonDocument::Compact) + '\n';
}

std::optional<SavedGame> readJournal(const QByteArray& bytes, QString& fault)
{
    try {
        fault.clear();
        return read(bytes);
    } catch (const Refused& refused) {
        fault = refused.why;
        return std::nullopt;
    }
}

QString resumeQuestion(const SavedGame& game)
{
    const ClockModel& c = game.clock;
    const auto& current = (*c.PERIODS)[static_cast<std::size_t>(c.CUR_PERIOD)];
    QString question = game.finished ? QStringLiteral("The last game ended normally: ")
                                     : QStringLiteral("The last game did not end normally: ");
    question += current.Descr + QLatin1Char(' ') + format00(c.CUR_SECONDS / 60) + QLatin1Char(':')
        + format00(c.CUR_SECONDS % 60)
        + QStringLiteral(", period %1 of %2. Resume it?").arg(c.CUR_PERIOD).arg(c.PERIOD_COUNT);
    if (c.CLOCK_RUNNING != kFalse)
        question += QStringLiteral("\nThe clock was running; the time while the program was down is not counted.");
    return question;
}

} // namespace korvo::model
