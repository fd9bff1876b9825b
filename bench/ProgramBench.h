#pragma once

#include "StampedSocket.h"

#include <QJsonObject>
#include <QString>

#include <cstdint>
#include <sys/types.h>
#include <vector>

namespace korvo::bench {

struct ProgramOptions
{
    pid_t clock = 0; ///< korvo-timer, started and running
    pid_t baseline = 0; ///< the naive clock program
    std::uint32_t clockTo = ipv4(127, 0, 0, 255); ///< where each sends its time
    std::uint32_t baselineTo = ipv4(127, 0, 0, 1);
    std::uint32_t floorTo = ipv4(127, 0, 0, 3);
    std::uint16_t port = 7699;
    double accuracySeconds = 180; ///< from the first tick, before any stall
    double cpuSeconds = 120; ///< within the accuracy run
    double settleSeconds = 4.5; ///< after each stall
    std::vector<double> stalls { 0.3, 1.2, 2.5, 3.5, 7 };
    QString raw; ///< every arrival, when not empty
};

/// Listens, measures and stops the programs as `options` say; returns the section of results.
[[nodiscard]] QJsonObject programPart(const ProgramOptions& options);

} // namespace korvo::bench
