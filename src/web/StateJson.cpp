#include "web/StateJson.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>

namespace korvo::web {

QByteArray stateJson(const follow::FollowedState& state, std::chrono::nanoseconds now)
{
    using std::chrono::duration_cast;
    using std::chrono::milliseconds;
    const auto period = state.period();
    const auto age = state.age(now);
    const bool heard = state.hasHeard();
    const QJsonObject object{
        {QStringLiteral("period"), period ? QJsonValue(*period) : QJsonValue()},
        {QStringLiteral("clock"), state.hasTime() ? QJsonValue(state.clockText()) : QJsonValue()},
        {QStringLiteral("paused"), heard ? QJsonValue(state.isPaused()) : QJsonValue()},
        {QStringLiteral("source"), heard ? QJsonValue(state.sender().toString()) : QJsonValue()},
        {QStringLiteral("ageMs"),
         age ? QJsonValue(static_cast<qint64>(duration_cast<milliseconds>(*age).count())) : QJsonValue()},
        {QStringLiteral("staleAfterMs"),
         static_cast<qint64>(duration_cast<milliseconds>(follow::FollowedState::kQuietAfter).count())},
    };
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

} // namespace korvo::web
