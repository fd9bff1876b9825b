#pragma once

#include "Figures.h"

#include <chrono>
#include <cstdint>
#include <vector>

namespace korvo::bench {

/// What one clock did in a run. Drift is, at each tick, the periods the clock has moved minus
/// floor(monotonic time since it was switched on / period): negative means the clock is behind.
struct ClockTrace
{
    std::vector<std::int64_t> drift;
    std::vector<double> latenessUs; ///< per tick event: its start after the deadline it stands for
    std::vector<double> wireUs;     ///< per datagram: that deadline to the datagram's arrival at the receiver
    std::vector<double> wakeUs;     ///< the same, up to when the receiving thread had woken up to read it
    int ticks = 0;                  ///< tick events
    std::int64_t advance = 0;       ///< periods the clock moved
    int lateEvents = 0;             ///< events that stood for more than one period
    int sendFailures = 0;
    int datagramsLost = 0;
};

struct RunOptions
{
    std::chrono::milliseconds period{50};
    /// Each clock stops at its first tick on or after this many periods since it was switched on.
    int periods = 2000;
    /// Blocks of the event loop, 0.3 to 3.5 periods each, at seeded random moments; with stalls the run
    /// lasts until the last block is over (plus three periods) and `periods` is ignored.
    int stalls = 0;
    std::uint32_t seed = 7699;
};

struct RunResult
{
    ClockTrace project;  ///< HiTimer + UdpSocket, the components the clock program uses
    ClockTrace baseline; ///< repeating coarse QTimer adding one per timeout + QUdpSocket
    /// A bare thread sleeping to the same grid with clock_nanosleep (a quarter period later): the
    /// lateness the operating system (and the virtual machine, if any) gives any timer on this machine.
    std::vector<double> referenceLatenessUs;
    int stallsDone = 0;
    double stalledPeriods = 0;
    double seconds = 0;
    bool timedOut = false;
};

/// Runs both clocks side by side in one event loop (the baseline switched on half a period after the
/// project's timer, so their ticks do not queue behind each other) until both are done.
RunResult runClocks(const RunOptions& options);

/// The table lines for an idle run: drift, jitter and tick-to-wire. `tag` names the period ("50ms").
Figures idleFigures(const RunResult& run, const RunOptions& options, const QString& tag, bool withWire);
/// Every tick's lateness and every datagram's deadline-to-arrival, as CSV lines "run,clock,what,us".
QStringList rawLines(const RunResult& run, const QString& name);

/// The table line for a run with stalls.
Figures stallFigures(const RunResult& run, const RunOptions& options);

} // namespace korvo::bench
