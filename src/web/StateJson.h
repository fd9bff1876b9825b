#pragma once

#include "follow/FollowedState.h"

#include <QByteArray>

#include <chrono>

namespace korvo::web {

/// The followed state as the pages read it, one compact JSON object:
/// {"ageMs":1234,"clock":"10:00","paused":true,"period":1,"source":"192.168.1.20","staleAfterMs":2000}.
/// What has not been heard yet is null; staleAfterMs tells the pages after how long a silence to show
/// the age.
[[nodiscard]] QByteArray stateJson(const follow::FollowedState& state, std::chrono::nanoseconds now);

} // namespace korvo::web
