// The clock programs as an operator runs them: korvo-timer and the naive clock, already running, heard by
// one socket that tells them apart by the address each sends to, beside a bare clock_nanosleep thread of
// this process sending on the same grid (the machine's floor). Accuracy against the ideal grid from each
// one's first tick, jitter around its own offset, CPU, wake-ups and memory, then both programs stopped with
// SIGSTOP at once for a few lengths of time: the seconds each loses and where its grid is afterwards.

#include "ProgramBench.h"

#include "Bench.h"
#include "StampedSocket.h"
#include "model/TimeText.h"
#include "protocol/TimeMessage.h"

#include <QFile>
#include <QTextStream>

#include <arpa/inet.h>
#include <array>
#include <atomic>
#include <limits>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace korvo::bench {

namespace {

constexpr std::int64_t kSecond = 1'000'000'000;

/// Sends "p1tMM:SS" to `to` on a 1 s grid of CLOCK_MONOTONIC with clock_nanosleep, until stopped.
class FloorSender final
{
public:
    FloorSender(std::uint32_t to, std::uint16_t port)
    {
        m_fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        sockaddr_in a {};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(to);
        a.sin_port = htons(port);
        m_thread = std::thread([this, a] {
            const std::int64_t start = nowNs(CLOCK_MONOTONIC) + kSecond / 2;
            for (int k = 1; !m_stop; ++k) {
                sleepUntil(start + k * kSecond);
                const QByteArray text
                    = protocol::timeMessage(1, model::clockText(k / 60, k % 60))
                          .toLatin1();
                ::sendto(m_fd, text.constData(), static_cast<std::size_t>(text.size()), 0,
                         reinterpret_cast<const sockaddr*>(&a), sizeof a);
            }
        });
    }
    ~FloorSender()
    {
        m_stop = true;
        m_thread.join();
        ::close(m_fd);
    }
    FloorSender(const FloorSender&) = delete;
    FloorSender& operator=(const FloorSender&) = delete;

private:
    int m_fd = -1;
    std::atomic<bool> m_stop { false };
    std::thread m_thread;
};

struct Stall
{
    double seconds = 0;
    std::int64_t stop = 0; ///< CLOCK_MONOTONIC ns
    std::int64_t resume = 0;
};

/// One clock's time datagrams: arrival (CLOCK_MONOTONIC ns) and the seconds shown.
struct Stream
{
    std::vector<std::int64_t> at;
    std::vector<int> shown;

    /// Each tick's arrival minus the ideal grid from the first tick: first + (seconds moved) × 1 s, in ms.
    [[nodiscard]] double errorMs(std::size_t i) const
    {
        const std::int64_t moved = std::abs(shown[i] - shown[0]);
        return static_cast<double>(at[i] - at[0] - moved * kSecond) / 1e6;
    }
    /// Median error of the ticks that arrived in [from, to).
    [[nodiscard]] std::optional<double> medianError(std::int64_t from, std::int64_t to) const
    {
        std::vector<double> e;
        for (std::size_t i = 0; i < at.size(); ++i) {
            if (at[i] >= from && at[i] < to)
                e.push_back(errorMs(i));
        }
        return percentile(e, 0.5);
    }
};

struct Accuracy
{
    std::optional<double> maxError, trend, offset, p50, p99, max;
    std::size_t ticks = 0;
};

Accuracy accuracyOf(const Stream& s, std::int64_t until)
{
    Accuracy a;
    std::vector<double> minutes;
    std::vector<double> errors;
    for (std::size_t i = 0; i < s.at.size() && s.at[i] < until; ++i) {
        minutes.push_back(static_cast<double>(s.at[i] - s.at[0]) / (60.0 * kSecond));
        errors.push_back(s.errorMs(i));
    }
    a.ticks = errors.size();
    a.maxError = percentile(magnitudes(errors), 1);
    a.trend = slope(minutes, errors);
    a.offset = percentile(errors, 0.5);
    const std::vector<double> jitter = aroundMedian(errors);
    a.p50 = percentile(jitter, 0.5);
    a.p99 = percentile(jitter, 0.99);
    a.max = percentile(jitter, 1);
    return a;
}

struct Use
{
    std::optional<double> cpuPercent, wakeups, peakRss, anon;
};

Use useOf(const ProcessSample& a, const ProcessSample& b, double seconds)
{
    if (!a.alive || !b.alive)
        return {};
    return { static_cast<double>(b.cpuNs - a.cpuNs) / (seconds * 1e7),
             static_cast<double>(b.switches - a.switches) / seconds, b.peakRssMiB, b.anonMiB };
}

QString addressText(std::uint32_t a)
{
    return QStringLiteral("%1.%2.%3.%4").arg(a >> 24).arg(a >> 16 & 255).arg(a >> 8 & 255).arg(a & 255);
}

} // namespace

QJsonObject programPart(const ProgramOptions& o)
{
    const QString load = loadAverage();
    StampedSocket socket(INADDR_ANY, o.port);
    std::optional<FloorSender> floorSender(std::in_place, o.floorTo, o.port);
    const std::uint32_t destinations[] = { o.clockTo, o.baselineTo, o.floorTo };
    const auto firstTicks = [&] {
        std::array<std::optional<std::int64_t>, 3> first {};
        const std::int64_t realtime = realtimeOffsetNs();
        for (const StampedSocket::Arrival& a : socket.arrivals()) {
            for (std::size_t i = 0; i < 3; ++i) {
                if (a.destination == destinations[i] && !first[i] && shownSeconds(a.payload))
                    first[i] = a.stampNs - realtime;
            }
        }
        return first;
    };

    QJsonArray out;
    const auto section = [&](const QString& note) {
        return part(QStringLiteral("The programs at 1 Hz"), 20,
                    QStringLiteral("The real korvo-timer under Xvfb in a private network namespace, driven as an "
                                   "operator would (a set composed in the Setting window, Broadcast IP 127.000.000, "
                                   "Ok, S), beside the naive clock program (a window with a repeating 1000 ms QTimer "
                                   "in Qt's default coarse mode adding one second per timeout) started at the same "
                                   "moment, and a bare thread sleeping to a 1 s grid with clock_nanosleep. One socket "
                                   "hears all three, told apart by destination (%1, %2, %3), with the kernel's "
                                   "receive stamps. Load average when it began: %4.%5")
                        .arg(addressText(o.clockTo), addressText(o.baselineTo), addressText(o.floorTo), load, note),
                    QStringLiteral("Naive clock"), QStringLiteral("clock_nanosleep"), out);
    };

    progress(QStringLiteral("programs: waiting for the first tick of both clocks"));
    const std::int64_t waitFrom = nowNs(CLOCK_MONOTONIC);
    auto first = firstTicks();
    while ((!first[0] || !first[1]) && nowNs(CLOCK_MONOTONIC) - waitFrom < 15 * kSecond) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        first = firstTicks();
    }
    if (!first[0] || !first[1]) {
        progress(QStringLiteral("programs: no tick from %1")
                     .arg(first[0] ? QStringLiteral("the naive clock") : QStringLiteral("korvo-timer")));
        return section(QStringLiteral(" THE CLOCKS DID NOT BOTH RUN: no figures."));
    }
    const std::int64_t start = std::max(*first[0], *first[1]);

    progress(QStringLiteral("programs: accuracy for %1 s, CPU and memory over %2 s of it")
                 .arg(o.accuracySeconds)
                 .arg(o.cpuSeconds));
    const std::int64_t cpuFrom = start + 2 * kSecond;
    sleepUntil(cpuFrom);
    const ProcessSample clockA = sampleProcess(o.clock);
    const ProcessSample baselineA = sampleProcess(o.baseline);
    const std::int64_t measuredFrom = nowNs(CLOCK_MONOTONIC);
    sleepUntil(cpuFrom + static_cast<std::int64_t>(o.cpuSeconds * 1e9));
    const ProcessSample clockB = sampleProcess(o.clock);
    const ProcessSample baselineB = sampleProcess(o.baseline);
    const double measured = static_cast<double>(nowNs(CLOCK_MONOTONIC) - measuredFrom) / 1e9;
    sleepUntil(start + static_cast<std::int64_t>(o.accuracySeconds * 1e9));

    std::vector<Stall> stalls;
    for (const double seconds : o.stalls) {
        progress(QStringLiteral("programs: both stopped for %1 s").arg(seconds));
        Stall s { seconds, nowNs(CLOCK_MONOTONIC), 0 };
        ::kill(o.clock, SIGSTOP);
        ::kill(o.baseline, SIGSTOP);
        sleepUntil(s.stop + static_cast<std::int64_t>(seconds * 1e9));
        s.resume = nowNs(CLOCK_MONOTONIC);
        ::kill(o.clock, SIGCONT);
        ::kill(o.baseline, SIGCONT);
        stalls.push_back(s);
        sleepUntil(s.resume + static_cast<std::int64_t>(o.settleSeconds * 1e9));
    }
    const bool alive = sampleProcess(o.clock).alive && sampleProcess(o.baseline).alive;
    floorSender.reset();
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    socket.close();

    const std::int64_t realtime = realtimeOffsetNs();
    std::array<Stream, 3> streams;
    QFile raw(o.raw);
    const bool keepRaw = !o.raw.isEmpty() && raw.open(QIODevice::WriteOnly | QIODevice::Truncate);
    QTextStream rawText(&raw);
    if (keepRaw) {
        rawText << "# arrival_ns(CLOCK_MONOTONIC) destination payload; stalls: seconds stop_ns resume_ns\n";
        for (const Stall& s : stalls)
            rawText << "# stall " << s.seconds << ' ' << s.stop << ' ' << s.resume << '\n';
    }
    for (const StampedSocket::Arrival& a : socket.arrivals()) {
        if (keepRaw)
            rawText << a.stampNs - realtime << ' ' << addressText(a.destination) << ' ' << a.payload << '\n';
        for (std::size_t i = 0; i < 3; ++i) {
            const std::optional<int> shown = shownSeconds(a.payload);
            if (a.destination == destinations[i] && shown) {
                streams[i].at.push_back(a.stampNs - realtime);
                streams[i].shown.push_back(*shown);
            }
        }
    }

    const std::int64_t until = stalls.empty() ? std::numeric_limits<std::int64_t>::max() : stalls.front().stop;
    const Accuracy k = accuracyOf(streams[0], until);
    const Accuracy b = accuracyOf(streams[1], until);
    const Accuracy f = accuracyOf(streams[2], until);
    const QString over = QStringLiteral(" over %1 s").arg(o.accuracySeconds, 0, 'f', 0);
    out.append(figure(QStringLiteral("program_error_max"),
                      QStringLiteral("Accuracy: max |arrival - ideal grid from the first tick|") + over,
                      QStringLiteral("ms"), k.maxError, b.maxError, f.maxError, Goal { "lt", 16, {} },
                      QStringLiteral("%1 vs %2 vs %3 ticks; the goal: within one frame of a 60 Hz display")
                          .arg(k.ticks)
                          .arg(b.ticks)
                          .arg(f.ticks)));
    out.append(
        signedFigure(QStringLiteral("program_trend"), QStringLiteral("Accuracy: trend of the error") + over,
                     QStringLiteral("ms/min"), k.trend, b.trend, f.trend, Goal { "abs_le", 0.1, {} },
                     QStringLiteral("the median slope between every pair of ticks (Theil-Sen), which the odd late tick "
                                    "cannot tilt; 0.1 ms/min is 9 ms over a 90-minute game")));
    out.append(signedFigure(QStringLiteral("program_offset"), QStringLiteral("Offset: median error against that grid"),
                            QStringLiteral("ms"), k.offset, b.offset, f.offset));
    out.append(figure(QStringLiteral("program_jitter_p50"), QStringLiteral("Jitter p50 (|error - offset|)"),
                      QStringLiteral("ms"), k.p50, b.p50, f.p50));
    out.append(figure(QStringLiteral("program_jitter_p99"), QStringLiteral("Jitter p99"), QStringLiteral("ms"), k.p99,
                      b.p99, f.p99, Goal { "le", 1.2, "floor" }));
    out.append(figure(QStringLiteral("program_jitter_max"), QStringLiteral("Jitter max"), QStringLiteral("ms"), k.max,
                      b.max, f.max));

    for (const Stall& s : stalls) {
        std::optional<double> lost[2];
        std::optional<double> after[2];
        QString late[2];
        for (std::size_t i = 0; i < 2; ++i) {
            const Stream& st = streams[i];
            const auto before = st.medianError(s.stop - 4 * kSecond, s.stop);
            const auto settled = st.medianError(s.resume + 3 * kSecond / 2,
                                                s.resume + static_cast<std::int64_t>(o.settleSeconds * 1e9));
            // The whole seconds of an error are seconds lost (by this stall and the ones before it), the
            // rest is where the ticks now fall against the grid.
            if (before && settled) {
                const auto behind = static_cast<double>(std::llround(*settled / 1000.0));
                lost[i] = behind - static_cast<double>(std::llround(*before / 1000.0));
                after[i] = *settled - behind * 1000.0;
            }
            // The first datagram after the stall: how soon the clock shows a time again, and which.
            for (std::size_t j = 0; j < st.at.size(); ++j) {
                if (st.at[j] >= s.resume) {
                    late[i] = QStringLiteral("%1 ms after SIGCONT, %2 s moved")
                                  .arg(static_cast<double>(st.at[j] - s.resume) / 1e6, 0, 'f', 1)
                                  .arg(j > 0 ? st.shown[j] - st.shown[j - 1] : 0);
                    break;
                }
            }
        }
        const QString name = QStringLiteral("SIGSTOP %1 s").arg(s.seconds);
        const QString key = QStringLiteral("stall_%1").arg(s.seconds);
        out.append(
            figure(key + QStringLiteral("_lost"), name + QStringLiteral(": seconds lost"), QStringLiteral("s"), lost[0],
                   lost[1], std::nullopt, Goal { "eq", 0, {} },
                   QStringLiteral("first datagram after it: Korvo Timer %1; naive clock %2").arg(late[0], late[1])));
        out.append(signedFigure(
            key + QStringLiteral("_offset"), name + QStringLiteral(": grid offset after"), QStringLiteral("ms"),
            after[0], after[1], std::nullopt, Goal { "abs_le", 5, {} },
            QStringLiteral("median error of the ticks 1.5-%1 s after SIGCONT against the first tick's grid, "
                           "less the whole seconds lost so far (to the nearest: 500 ms late after "
                           "6 s lost is 500 ms early after 7)")
                .arg(o.settleSeconds)));
    }

    const Use kc = useOf(clockA, clockB, measured);
    const Use bc = useOf(baselineA, baselineB, measured);
    const QString window = QStringLiteral(" over %1 s").arg(measured, 0, 'f', 0);
    out.append(figure(QStringLiteral("program_cpu"), QStringLiteral("CPU while running") + window,
                      QStringLiteral("% of a core"), kc.cpuPercent, bc.cpuPercent, std::nullopt, Goal { "lt", 0.2, {} },
                      QStringLiteral("time on a CPU of all threads (schedstat)")));
    out.append(figure(QStringLiteral("program_wakeups"), QStringLiteral("Wake-ups while running") + window,
                      QStringLiteral("per s"), kc.wakeups, bc.wakeups, std::nullopt, std::nullopt,
                      QStringLiteral("voluntary + involuntary context switches of all threads (the X connection's "
                                     "reader thread included)")));
    out.append(figure(QStringLiteral("program_rss"), QStringLiteral("Peak RSS"), QStringLiteral("MiB"), kc.peakRss,
                      bc.peakRss, std::nullopt, Goal { "lt", 35, {} },
                      QStringLiteral("VmHWM at the end of the CPU window; of it the program's own memory (RssAnon) "
                                     "%1 vs %2 MiB, the rest pages of shared libraries (Qt, ICU, X11, fonts)")
                          .arg(kc.anon.value_or(0), 0, 'f', 1)
                          .arg(bc.anon.value_or(0), 0, 'f', 1)));
    return section(alive ? QString() : QStringLiteral(" A CLOCK PROGRAM DIED DURING THE RUN."));
}

} // namespace korvo::bench
