// The project's timer and socket against the obvious clock, side by side in one event loop, with a bare
// clock_nanosleep thread beside them as the machine's floor: drift, event-loop stalls, each clock's phase
// offset and its jitter around it, and the send path from a tick to the kernel's receive stamp.

#include "Bench.h"
#include "StampedSocket.h"
#include "errors/RuntimeError.h"
#include "model/TimeText.h"
#include "platform/HiTimer.h"
#include "platform/MonotonicClock.h"
#include "platform/UdpSocket.h"
#include "protocol/TimeMessage.h"

#include <QEventLoop>
#include <QHostAddress>
#include <QTimer>
#include <QUdpSocket>

#include <atomic>
#include <map>
#include <random>
#include <thread>

namespace korvo::bench {

namespace {

using std::chrono::milliseconds;
using std::chrono::nanoseconds;

/// What one clock did. Drift is, at each tick, how many periods it has moved since its first tick beyond
/// (negative: short of) the whole periods elapsed since that tick. Counting from the first tick leaves out
/// a constant phase offset, which is an accuracy error of its own (reported apart); a tick within a tenth
/// of a period of a grid point may stand on either side of it, since a coarse timer wobbles by up to 5%.
struct Trace
{
    static constexpr double kEitherSide = 0.1;
    std::vector<std::int64_t> drift;
    std::vector<double> lateUs; ///< per tick event: its start after the deadline it stands for
    std::vector<double> wireUs; ///< per datagram: the tick handler's start to the kernel's arrival stamp
    std::map<QByteArray, std::int64_t> handlerStart; ///< per payload, CLOCK_MONOTONIC ns
    nanoseconds start { 0 };
    std::optional<std::pair<nanoseconds, std::int64_t>> first; ///< the first tick: when, and the count then
    std::int64_t advance = 0;
    int lateEvents = 0; ///< events that stood for more than one period
    int sendFailures = 0;
    bool done = false;

    /// One tick event at `at` that moved the clock by `step` periods and stands for `deadline`.
    template <class Send>
    void tick(nanoseconds at, nanoseconds period, std::int64_t step, nanoseconds deadline, Send send)
    {
        advance += step;
        lateEvents += step > 1 ? 1 : 0;
        if (!first)
            first = std::pair { at, advance };
        const double elapsed = std::chrono::duration<double>(at - first->first) / period;
        const auto lo = static_cast<std::int64_t>(std::floor(elapsed - kEitherSide));
        const auto hi = static_cast<std::int64_t>(std::floor(elapsed + kEitherSide));
        const std::int64_t moved = advance - first->second;
        drift.push_back(moved < lo ? moved - lo : moved > hi ? moved - hi : 0);
        lateUs.push_back(static_cast<double>((at - deadline).count()) / 1000.0);
        const QByteArray text
            = protocol::timeMessage(1, model::clockText(advance / 60, advance % 60))
                  .toLatin1();
        handlerStart.emplace(text, at.count());
        try {
            send(text);
        } catch (const errors::RuntimeError&) {
            ++sendFailures;
        }
    }
    [[nodiscard]] double worst() const
    {
        std::int64_t w = 0;
        for (const std::int64_t d : drift)
            w = std::abs(d) > std::abs(w) ? d : w;
        return static_cast<double>(w);
    }
    [[nodiscard]] double last() const { return drift.empty() ? 0 : static_cast<double>(drift.back()); }
};

struct Run
{
    Trace project; ///< HiTimer + UdpSocket, the components the clock program uses
    Trace baseline; ///< a repeating coarse QTimer adding one per timeout + QUdpSocket
    /// A bare thread sleeping to the same grid with clock_nanosleep (a quarter period later): how late
    /// this machine (and its hypervisor) wakes any timer.
    std::vector<double> floorUs;
    int stalls = 0;
    double stalledPeriods = 0;
    bool timedOut = false;
};

/// Both clocks in one event loop (the baseline switched on half a period later, so that their ticks never
/// queue behind each other) until each has ticked on or after `periods` periods; or, with `stalls`, until
/// the event loop has been blocked that many times for 0.3 to 3.5 periods at seeded random moments.
Run runClocks(milliseconds period, int periods, int stalls)
{
    const platform::SteadyClock clock;
    StampedSocket projectSink(ipv4(127, 0, 0, 1), 0);
    StampedSocket baselineSink(ipv4(127, 0, 0, 1), 0);
    QEventLoop loop;
    Run run;
    platform::HiTimer hiTimer(clock, period);
    QTimer coarse;
    // Each clock stops at its first tick on or after the last period; the run ends when both have.
    const auto finish = [&](Trace& t, nanoseconds at) {
        if (stalls > 0 || (at - t.start) / period < periods)
            return;
        t.done = true;
        if (&t == &run.project)
            hiTimer.setEnabled(false);
        else
            coarse.stop();
        if (run.project.done && run.baseline.done)
            loop.quit();
    };
    platform::UdpSocket udp;
    udp.setProtocol(platform::DatagramSocket::kUdp);
    udp.setRemoteHost(QStringLiteral("127.0.0.1"));
    udp.setRemotePort(projectSink.port());
    QObject::connect(&hiTimer, &platform::TickTimer::tick, &loop, [&] {
        const nanoseconds at = clock.now();
        run.project.tick(at, period, hiTimer.missedTicks() + 1, hiTimer.lastDeadline(),
                         [&](const QByteArray& text) { udp.sendData(QString::fromLatin1(text)); });
        finish(run.project, at);
    });

    QUdpSocket qudp;
    coarse.setInterval(period);
    QObject::connect(&coarse, &QTimer::timeout, &loop, [&] {
        const nanoseconds at = clock.now();
        Trace& t = run.baseline;
        // It believes each timeout is the next period: that is the deadline it is late for.
        t.tick(at, period, 1, t.start + (t.advance + 1) * period, [&](const QByteArray& text) {
            if (qudp.writeDatagram(text, QHostAddress(QHostAddress::LocalHost), baselineSink.port()) < 0)
                errors::raise(1, qudp.errorString());
        });
        finish(t, at);
    });

    std::mt19937 rng(7699);
    QTimer staller;
    staller.setSingleShot(true);
    staller.setTimerType(Qt::PreciseTimer);
    const auto periodsOf = [&](double lo, double hi) {
        return std::chrono::duration<double, std::milli>(std::uniform_real_distribution<double>(lo, hi)(rng) * period);
    };
    QObject::connect(&staller, &QTimer::timeout, &loop, [&] {
        const auto from = clock.now();
        std::this_thread::sleep_for(periodsOf(0.3, 3.5));
        run.stalledPeriods += std::chrono::duration<double>(clock.now() - from) / period;
        if (++run.stalls < stalls)
            staller.start(std::chrono::duration_cast<milliseconds>(periodsOf(0.5, 3.0)));
        else // a few periods more, so that the last block is answered by a tick of each clock
            QTimer::singleShot(3 * period, &loop, &QEventLoop::quit);
    });

    std::atomic<bool> floorStop { false };
    std::thread nanosleeper([&] {
        if (stalls > 0)
            return;
        const std::int64_t start = nowNs(CLOCK_MONOTONIC) + nanoseconds(period).count() / 4;
        for (std::int64_t k = 1; k <= periods && !floorStop; ++k) {
            const std::int64_t deadline = start + k * nanoseconds(period).count();
            sleepUntil(deadline);
            run.floorUs.push_back(static_cast<double>(nowNs(CLOCK_MONOTONIC) - deadline) / 1000.0);
        }
    });

    hiTimer.setEnabled(true);
    run.project.start = hiTimer.nextDeadline() - hiTimer.period(); // the grid starts as it is switched on
    QTimer::singleShot(period / 2, Qt::PreciseTimer, &loop, [&] {
        run.baseline.start = clock.now();
        coarse.start();
    });
    if (stalls > 0)
        staller.start(std::chrono::duration_cast<milliseconds>(periodsOf(0.5, 3.0)));
    // A run that cannot finish (a clock that never reaches its last period) still ends.
    QTimer::singleShot(2 * period * (stalls > 0 ? stalls * 6 : periods) + std::chrono::seconds(30), &loop, [&] {
        run.timedOut = true;
        loop.quit();
    });
    loop.exec();
    hiTimer.setEnabled(false);
    coarse.stop();
    floorStop = true;
    nanosleeper.join();

    std::this_thread::sleep_for(milliseconds(50)); // the last datagrams arrive
    projectSink.close();
    baselineSink.close();
    const std::int64_t realtime = realtimeOffsetNs(); // kernel stamps are on CLOCK_REALTIME
    const std::pair<Trace*, const StampedSocket*> sinks[]
        = { { &run.project, &projectSink }, { &run.baseline, &baselineSink } };
    for (const auto& [trace, sink] : sinks) {
        for (const StampedSocket::Arrival& a : sink->arrivals()) {
            if (const auto s = trace->handlerStart.find(a.payload); s != trace->handlerStart.end())
                trace->wireUs.push_back(static_cast<double>(a.stampNs - realtime - s->second) / 1000.0);
        }
    }
    return run;
}

/// Drift, offset, jitter and the send path of an idle run.
void idleFigures(QJsonArray& out, const Run& run, milliseconds period, int periods)
{
    const Trace& p = run.project;
    const Trace& b = run.baseline;
    const QString of = QStringLiteral(", %1 ticks of %2 ms").arg(periods).arg(period.count());
    const QString timedOut = run.timedOut ? QStringLiteral("; THE RUN TIMED OUT") : QString();
    out.append(
        signedFigure(QStringLiteral("drift_last"), QStringLiteral("Drift at the last tick") + of,
                     QStringLiteral("periods"), p.last(), b.last(), std::nullopt, Goal { "eq", 0, {} },
                     QStringLiteral("periods moved since the first tick - whole periods elapsed since it, a tick "
                                    "within 10% of a period of a grid point counting on either side; %1 vs %2 "
                                    "tick events%3")
                         .arg(p.drift.size())
                         .arg(b.drift.size())
                         .arg(timedOut)));
    out.append(signedFigure(
        QStringLiteral("drift_worst"), QStringLiteral("Drift at its worst tick") + of, QStringLiteral("periods"),
        p.worst(), b.worst(), std::nullopt, Goal { "eq", 0, {} },
        QStringLiteral("%1 vs %2 events stood for more than one period").arg(p.lateEvents).arg(b.lateEvents)));
    out.append(signedFigure(
        QStringLiteral("offset"), QStringLiteral("Phase offset (median of tick - its deadline)"), QStringLiteral("µs"),
        percentile(p.lateUs, 0.5), percentile(b.lateUs, 0.5), percentile(run.floorUs, 0.5), std::nullopt,
        QStringLiteral("an accuracy error, not jitter: a coarse QTimer moves its timeouts onto a grid "
                       "of its own (Qt rounds them to save wake-ups) and keeps it; earliest tick %1 vs "
                       "%2 µs (negative: before the deadline)")
            .arg(percentile(p.lateUs, 0).value_or(0), 0, 'f', 0)
            .arg(percentile(b.lateUs, 0).value_or(0), 0, 'f', 0)));
    const std::vector<double> pj = aroundMedian(p.lateUs);
    const std::vector<double> bj = aroundMedian(b.lateUs);
    const std::vector<double> fj = aroundMedian(run.floorUs);
    out.append(figure(QStringLiteral("jitter_p50"), QStringLiteral("Jitter p50 (|tick - deadline - offset|)"),
                      QStringLiteral("µs"), percentile(pj, 0.5), percentile(bj, 0.5), percentile(fj, 0.5)));
    out.append(figure(QStringLiteral("jitter_p99"), QStringLiteral("Jitter p99"), QStringLiteral("µs"),
                      percentile(pj, 0.99), percentile(bj, 0.99), percentile(fj, 0.99), Goal { "le", 1.2, "floor" }));
    out.append(
        figure(QStringLiteral("jitter_max"), QStringLiteral("Jitter max"), QStringLiteral("µs"), percentile(pj, 1),
               percentile(bj, 1), percentile(fj, 1), std::nullopt,
               QStringLiteral("one outlier decides it: on a shared virtual machine, the vCPU being taken away")));
    out.append(figure(QStringLiteral("wire_p50"), QStringLiteral("Tick handler to wire p50"), QStringLiteral("µs"),
                      percentile(p.wireUs, 0.5), percentile(b.wireUs, 0.5), std::nullopt));
    out.append(figure(QStringLiteral("wire_p99"), QStringLiteral("Tick handler to wire p99"), QStringLiteral("µs"),
                      percentile(p.wireUs, 0.99), percentile(b.wireUs, 0.99), std::nullopt,
                      Goal { "le", 1.2, "baseline" },
                      QStringLiteral("the handler's start to the kernel's receive stamp on a loopback socket: "
                                     "building the text and sending it; %1 vs %2 datagrams lost, %3 vs %4 sends failed")
                          .arg(p.handlerStart.size() - p.wireUs.size())
                          .arg(b.handlerStart.size() - b.wireUs.size())
                          .arg(p.sendFailures)
                          .arg(b.sendFailures)));
}

} // namespace

QJsonObject timingPart(bool smoke)
{
    const QString load = loadAverage();
    const int periods = smoke ? 200 : 1200;
    const int stalls = smoke ? 20 : 100;
    QJsonArray out;
    progress(QStringLiteral("timer and socket: %1 ticks of 50 ms").arg(periods));
    idleFigures(out, runClocks(milliseconds(50), periods, 0), milliseconds(50), periods);

    progress(QStringLiteral("timer and socket: %1 blocks of the event loop, 50 ms period").arg(stalls));
    const Run s = runClocks(milliseconds(50), 0, stalls);
    out.append(signedFigure(
        QStringLiteral("blocks"), QStringLiteral("Drift after %1 blocks of the event loop").arg(stalls),
        QStringLiteral("periods"), s.project.worst(), s.baseline.last(), std::nullopt, Goal { "eq", 0, {} },
        QStringLiteral("blocks of 0.3-3.5 periods (seed 7699), %1 periods blocked in all; Korvo Timer: "
                       "worst of %2 ticks (at the last %3), baseline: at its last tick%4")
            .arg(s.stalledPeriods, 0, 'f', 1)
            .arg(s.project.drift.size())
            .arg(s.project.last())
            .arg(s.timedOut ? QStringLiteral("; THE RUN TIMED OUT") : QString())));
    return part(QStringLiteral("Timer and socket alone, 50 ms period"), 10,
                QStringLiteral("The clock's timer (HiTimer: a timerfd with absolute deadlines) and socket in a test "
                               "program, beside a repeating QTimer in Qt's default coarse mode adding one per timeout, "
                               "and a bare thread sleeping to the same grid with clock_nanosleep. Load average when "
                               "it began: %1.")
                    .arg(load),
                QStringLiteral("Coarse QTimer"), QStringLiteral("clock_nanosleep"), out);
}

} // namespace korvo::bench
