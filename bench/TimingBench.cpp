#include "TimingBench.h"

#include "Stats.h"
#include "errors/RuntimeError.h"
#include "model/Checked.h"
#include "model/TimeMessage.h"
#include "platform/DatagramSocket.h"
#include "platform/HiTimer.h"
#include "platform/MonotonicClock.h"
#include "platform/UdpSocket.h"

#include <QByteArray>
#include <QEventLoop>
#include <QHostAddress>
#include <QTimer>
#include <QUdpSocket>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/uio.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <atomic>
#include <functional>
#include <limits>
#include <map>
#include <random>
#include <stdexcept>
#include <thread>

namespace korvo::bench {

namespace {

using std::chrono::nanoseconds;

QString clockText(std::int64_t seconds)
{
    return model::format00(seconds / 60) + QLatin1Char(':') + model::format00(seconds % 60);
}

/// Two loopback UDP sockets read by a thread of their own, which stamps each datagram the moment the
/// kernel hands it over: the event loop under test never delays an arrival time.
class Receiver final
{
public:
    struct Arrival
    {
        int socket;
        QByteArray payload;
        std::int64_t ns;       ///< when the kernel queued it on the receiving socket (monotonic)
        std::int64_t threadNs; ///< when the receiving thread got to it
    };

    Receiver()
    {
        for (std::size_t i = 0; i < m_fds.size(); ++i) {
            m_fds[i] = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
            sockaddr_in a{};
            a.sin_family = AF_INET;
            a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            socklen_t len = sizeof a;
            if (m_fds[i] < 0 || ::bind(m_fds[i], reinterpret_cast<sockaddr*>(&a), sizeof a) != 0
                || ::getsockname(m_fds[i], reinterpret_cast<sockaddr*>(&a), &len) != 0)
                throw std::runtime_error("cannot bind a loopback receiver");
            m_ports[i] = ntohs(a.sin_port);
            // The kernel stamps each datagram as it is queued: its arrival, whenever this thread wakes up.
            const int on = 1;
            ::setsockopt(m_fds[i], SOL_SOCKET, SO_TIMESTAMPNS, &on, sizeof on);
        }
        m_realtimeOffset = realtimeOffset();
        m_arrivals.reserve(20000);
        m_thread = std::thread([this] { run(); });
    }
    ~Receiver()
    {
        stop();
        for (const int fd : m_fds)
            ::close(fd);
    }
    Receiver(const Receiver&) = delete;
    Receiver& operator=(const Receiver&) = delete;

    [[nodiscard]] quint16 port(std::size_t i) const { return m_ports[i]; }

    /// Ends the thread; the arrivals may be read from then on.
    const std::vector<Arrival>& stop()
    {
        m_stop = true;
        if (m_thread.joinable())
            m_thread.join();
        // Kernel stamps are on the real-time clock; move them onto the monotonic one.
        const std::int64_t offset = (m_realtimeOffset + realtimeOffset()) / 2;
        for (Arrival& a : m_arrivals)
            a.ns -= offset;
        return m_arrivals;
    }

private:
    void run()
    {
        std::array<pollfd, 2> p{};
        for (std::size_t i = 0; i < p.size(); ++i)
            p[i] = {m_fds[i], POLLIN, 0};
        std::array<char, 512> buffer{};
        const platform::SteadyClock clock;
        while (!m_stop) {
            if (::poll(p.data(), p.size(), 20) <= 0)
                continue;
            const std::int64_t now = clock.now().count();
            for (std::size_t i = 0; i < p.size(); ++i) {
                if ((p[i].revents & POLLIN) == 0)
                    continue;
                iovec io{buffer.data(), buffer.size()};
                alignas(cmsghdr) std::array<char, CMSG_SPACE(sizeof(timespec))> control{};
                msghdr m{};
                m.msg_iov = &io;
                m.msg_iovlen = 1;
                m.msg_control = control.data();
                m.msg_controllen = control.size();
                const ssize_t n = ::recvmsg(m_fds[i], &m, MSG_DONTWAIT);
                if (n < 0)
                    continue;
                std::int64_t stamped = now + m_realtimeOffset; // no stamp: the thread's own time
                for (cmsghdr* c = CMSG_FIRSTHDR(&m); c != nullptr; c = CMSG_NXTHDR(&m, c)) {
                    if (c->cmsg_level == SOL_SOCKET && c->cmsg_type == SCM_TIMESTAMPNS) {
                        timespec ts{};
                        std::memcpy(&ts, CMSG_DATA(c), sizeof ts);
                        stamped = std::int64_t{ts.tv_sec} * 1'000'000'000 + ts.tv_nsec;
                    }
                }
                m_arrivals.push_back({static_cast<int>(i), QByteArray(buffer.data(), n), stamped, now});
            }
        }
    }

    /// CLOCK_REALTIME minus CLOCK_MONOTONIC, from the closest of a few paired readings.
    static std::int64_t realtimeOffset()
    {
        std::int64_t best = 0;
        std::int64_t bestSpread = std::numeric_limits<std::int64_t>::max();
        for (int i = 0; i < 20; ++i) {
            timespec m0{};
            timespec r{};
            timespec m1{};
            ::clock_gettime(CLOCK_MONOTONIC, &m0);
            ::clock_gettime(CLOCK_REALTIME, &r);
            ::clock_gettime(CLOCK_MONOTONIC, &m1);
            const auto ns = [](const timespec& t) { return std::int64_t{t.tv_sec} * 1'000'000'000 + t.tv_nsec; };
            if (ns(m1) - ns(m0) < bestSpread) {
                bestSpread = ns(m1) - ns(m0);
                best = ns(r) - (ns(m0) + ns(m1)) / 2;
            }
        }
        return best;
    }

    std::array<int, 2> m_fds{-1, -1};
    std::int64_t m_realtimeOffset = 0;
    std::array<quint16, 2> m_ports{};
    std::atomic<bool> m_stop{false};
    std::vector<Arrival> m_arrivals;
    std::thread m_thread;
};

/// What both clocks share: the trace, the deadlines of the datagrams sent, and when to stop.
class BenchClock
{
public:
    BenchClock(const platform::MonotonicClock& clock, std::chrono::milliseconds period, int periods,
               std::function<void()> done)
        : m_clock(clock)
        , m_period(period)
        , m_periods(periods)
        , m_done(std::move(done))
    {
    }
    virtual ~BenchClock() = default;
    BenchClock(const BenchClock&) = delete;
    BenchClock& operator=(const BenchClock&) = delete;

    virtual void start() = 0;
    virtual void stop() = 0;

    ClockTrace trace;

    void matchArrivals(const std::vector<Receiver::Arrival>& arrivals, int socket)
    {
        std::size_t matched = 0;
        for (const Receiver::Arrival& a : arrivals) {
            if (a.socket != socket)
                continue;
            const auto it = m_deadlines.find(a.payload);
            if (it == m_deadlines.end())
                continue;
            trace.wireUs.push_back(toMicroseconds(a.ns - it->second));
            trace.wakeUs.push_back(toMicroseconds(a.threadNs - it->second));
            ++matched;
        }
        trace.datagramsLost = static_cast<int>(m_deadlines.size() - matched);
    }

protected:
    /// One tick event that moved the clock by `step` periods and stands for `deadline`.
    void ticked(nanoseconds now, std::int64_t step, nanoseconds deadline)
    {
        ++trace.ticks;
        trace.advance += step;
        if (step > 1)
            ++trace.lateEvents;
        const std::int64_t expected = (now - m_start) / m_period;
        trace.drift.push_back(trace.advance - expected);
        trace.latenessUs.push_back(toMicroseconds((now - deadline).count()));
        const QString text = model::timeMessage(1, clockText(trace.advance));
        m_deadlines.emplace(text.toLatin1(), deadline.count());
        try {
            send(text);
        } catch (const errors::RuntimeError&) {
            ++trace.sendFailures;
        }
        if (expected >= m_periods && !m_stopped) {
            m_stopped = true;
            stop();
            m_done();
        }
    }
    virtual void send(const QString& text) = 0;

    const platform::MonotonicClock& m_clock;
    const nanoseconds m_period;
    nanoseconds m_start{0};

private:
    const int m_periods;
    std::function<void()> m_done;
    bool m_stopped = false;
    std::map<QByteArray, std::int64_t> m_deadlines;
};

/// The project's way: HiTimer (timerfd on CLOCK_MONOTONIC, missed ticks counted) and UdpSocket.
class ProjectClock final : public BenchClock
{
public:
    ProjectClock(const platform::MonotonicClock& clock, std::chrono::milliseconds period, int periods, quint16 port,
                 std::function<void()> done)
        : BenchClock(clock, period, periods, std::move(done))
        , m_timer(clock, period)
    {
        m_socket.setProtocol(platform::DatagramSocket::kUdp);
        m_socket.setRemoteHost(QStringLiteral("127.0.0.1"));
        m_socket.setRemotePort(port);
        QObject::connect(&m_timer, &platform::TickTimer::tick, &m_timer, [this] {
            const nanoseconds now = m_clock.now();
            ticked(now, std::int64_t{m_timer.missedTicks()} + 1, m_timer.lastDeadline());
        });
    }

    void start() override
    {
        m_timer.setEnabled(true);
        // The grid the timer keeps starts at the moment it was switched on.
        m_start = m_timer.nextDeadline() - m_timer.period();
    }
    void stop() override { m_timer.setEnabled(false); }

private:
    void send(const QString& text) override { m_socket.sendData(text); }

    platform::HiTimer m_timer;
    platform::UdpSocket m_socket;
};

/// The obvious way: a repeating QTimer in Qt's default (coarse) mode, one period per timeout.
class BaselineClock final : public BenchClock
{
public:
    BaselineClock(const platform::MonotonicClock& clock, std::chrono::milliseconds period, int periods, quint16 port,
                  std::function<void()> done)
        : BenchClock(clock, period, periods, std::move(done))
        , m_port(port)
    {
        m_timer.setInterval(period);
        QObject::connect(&m_timer, &QTimer::timeout, &m_timer, [this] {
            const nanoseconds now = m_clock.now();
            // It believes each timeout is the next period: that is the deadline it is late for.
            ticked(now, 1, m_start + (trace.advance + 1) * m_period);
        });
    }

    void start() override
    {
        m_start = m_clock.now();
        m_timer.start();
    }
    void stop() override { m_timer.stop(); }

private:
    void send(const QString& text) override
    {
        if (m_socket.writeDatagram(text.toLatin1(), QHostAddress(QHostAddress::LocalHost), m_port) < 0)
            errors::raise(1, m_socket.errorString());
    }

    QTimer m_timer;
    QUdpSocket m_socket;
    quint16 m_port;
};

/// Blocks the event loop `count` times, for 0.3 to 3.5 periods each, 0.5 to 3 periods apart (seeded).
class StallDriver final
{
public:
    StallDriver(std::chrono::milliseconds period, int count, std::uint32_t seed, std::function<void()> done)
        : m_period(period)
        , m_count(count)
        , m_rng(seed)
        , m_done(std::move(done))
    {
        m_timer.setSingleShot(true);
        m_timer.setTimerType(Qt::PreciseTimer);
        QObject::connect(&m_timer, &QTimer::timeout, &m_timer, [this] { block(); });
    }

    void start() { scheduleNext(); }

    int blocksDone = 0;
    double stalledPeriods = 0;

private:
    void scheduleNext()
    {
        std::uniform_real_distribution<double> gap(0.5, 3.0);
        m_timer.start(std::chrono::milliseconds(static_cast<long long>(gap(m_rng) * static_cast<double>(m_period.count()))));
    }

    void block()
    {
        std::uniform_real_distribution<double> length(0.3, 3.5);
        const auto wanted = std::chrono::duration<double, std::milli>(length(m_rng) * static_cast<double>(m_period.count()));
        const auto from = std::chrono::steady_clock::now();
        std::this_thread::sleep_for(wanted);
        const std::chrono::duration<double, std::milli> took = std::chrono::steady_clock::now() - from;
        stalledPeriods += took.count() / static_cast<double>(m_period.count());
        if (++blocksDone < m_count)
            scheduleNext();
        else
            m_done();
    }

    std::chrono::milliseconds m_period;
    int m_count;
    std::mt19937 m_rng;
    std::function<void()> m_done;
    QTimer m_timer;
};

Figure figure(const QString& key, const QString& label, const QString& unit, std::optional<double> project,
              std::optional<double> baseline, Figure::Goal goal = Figure::Goal::None, double goalValue = 0,
              const QString& note = {})
{
    Figure f;
    f.key = key;
    f.label = label;
    f.unit = unit;
    f.project = project;
    f.baseline = baseline;
    f.goal = goal;
    f.goalValue = goalValue;
    f.note = note;
    return f;
}

} // namespace

RunResult runClocks(const RunOptions& options)
{
    const platform::SteadyClock clock;
    Receiver receiver;
    QEventLoop loop;
    RunResult result;

    const bool withStalls = options.stalls > 0;
    const int periods = withStalls ? std::numeric_limits<int>::max() : options.periods;
    int running = 2;
    const auto clockDone = [&] {
        if (--running == 0)
            loop.quit();
    };
    ProjectClock project(clock, options.period, periods, receiver.port(0), clockDone);
    BaselineClock baseline(clock, options.period, periods, receiver.port(1), clockDone);

    StallDriver stalls(options.period, options.stalls, options.seed, [&] {
        // A few more periods, so that the last block is answered by a tick of each clock.
        QTimer::singleShot(3 * options.period, &loop, [&] {
            project.stop();
            baseline.stop();
            loop.quit();
        });
    });

    // Only while nothing blocks the event loop on purpose: the floor for the idle figures.
    std::atomic<bool> referenceStop{false};
    std::thread reference;
    if (!withStalls) {
        reference = std::thread([&] {
            timespec t{};
            ::clock_gettime(CLOCK_MONOTONIC, &t);
            const std::int64_t start = std::int64_t{t.tv_sec} * 1'000'000'000 + t.tv_nsec
                + std::chrono::nanoseconds(options.period).count() / 4;
            for (std::int64_t k = 1; k <= options.periods && !referenceStop; ++k) {
                const std::int64_t deadline = start + k * std::chrono::nanoseconds(options.period).count();
                const timespec d{static_cast<time_t>(deadline / 1'000'000'000), static_cast<long>(deadline % 1'000'000'000)};
                while (::clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &d, nullptr) == EINTR) {
                }
                ::clock_gettime(CLOCK_MONOTONIC, &t);
                result.referenceLatenessUs.push_back(
                    toMicroseconds(std::int64_t{t.tv_sec} * 1'000'000'000 + t.tv_nsec - deadline));
            }
        });
    }

    const auto from = std::chrono::steady_clock::now();
    project.start();
    QTimer::singleShot(options.period / 2, Qt::PreciseTimer, &loop, [&] { baseline.start(); });
    if (withStalls)
        stalls.start();
    // A run that cannot finish (a clock that never reaches its last period) still ends.
    const auto expectedLength = withStalls ? options.period * options.stalls * 6 : options.period * options.periods;
    QTimer::singleShot(expectedLength * 2 + std::chrono::seconds(30), &loop, [&] {
        result.timedOut = true;
        loop.quit();
    });
    loop.exec();
    project.stop();
    baseline.stop();
    referenceStop = true;
    if (reference.joinable())
        reference.join();
    result.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - from).count();

    // Give the last datagrams time to arrive before the receiver stops.
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    const std::vector<Receiver::Arrival>& arrivals = receiver.stop();
    project.matchArrivals(arrivals, 0);
    baseline.matchArrivals(arrivals, 1);

    result.project = std::move(project.trace);
    result.baseline = std::move(baseline.trace);
    result.stallsDone = stalls.blocksDone;
    result.stalledPeriods = stalls.stalledPeriods;
    return result;
}

Figures idleFigures(const RunResult& run, const RunOptions& options, const QString& tag, bool withWire)
{
    const ClockTrace& p = run.project;
    const ClockTrace& b = run.baseline;
    const QString period = QStringLiteral("%1 ms").arg(options.period.count());
    const QString runText = QStringLiteral("%1 ticks of %2").arg(options.periods).arg(period);
    const auto d = [](const ClockTrace& t) { return static_cast<double>(worst(t.drift)); };
    const auto final = [](const ClockTrace& t) { return t.drift.empty() ? 0 : t.drift.back(); };

    Figures out;
    out.append(figure(QStringLiteral("drift_") + tag, QStringLiteral("Drift, ") + runText, QStringLiteral("periods"),
                      d(p), d(b), Figure::Goal::Equal, 0,
                      QStringLiteral("worst advance - floor(elapsed/period) over every tick (negative: behind); at the "
                                     "last tick %1 vs %2; %3 vs %4 tick events; %5 vs %6 late events%7")
                          .arg(final(p))
                          .arg(final(b))
                          .arg(p.ticks)
                          .arg(b.ticks)
                          .arg(p.lateEvents)
                          .arg(b.lateEvents)
                          .arg(run.timedOut ? QStringLiteral("; RUN TIMED OUT") : QString())));
    // A coarse timer also fires early (Qt lines its timeouts up on a grid of its own, up to 5% of the
    // interval away from the one the clock started): a tick early by x is as wrong as one late by x.
    const std::vector<double> pj = magnitudes(p.latenessUs);
    const std::vector<double> bj = magnitudes(b.latenessUs);
    const QString jitterNote =
        QStringLiteral("|tick handler start - its deadline|; earliest tick %1 us vs %2 us (negative: before the "
                       "deadline); over 1 ms: %3 vs %4 ticks; a bare thread sleeping to the same grid with "
                       "clock_nanosleep, the machine's own floor: p50 %5, p99 %6, max %7 us, %8 over 1 ms")
            .arg(minimum(p.latenessUs).value_or(0), 0, 'f', 1)
            .arg(minimum(b.latenessUs).value_or(0), 0, 'f', 1)
            .arg(std::count_if(pj.begin(), pj.end(), [](double v) { return v > 1000; }))
            .arg(std::count_if(bj.begin(), bj.end(), [](double v) { return v > 1000; }))
            .arg(percentile(run.referenceLatenessUs, 0.5).value_or(-1), 0, 'f', 0)
            .arg(percentile(run.referenceLatenessUs, 0.99).value_or(-1), 0, 'f', 0)
            .arg(maximum(run.referenceLatenessUs).value_or(-1), 0, 'f', 0)
            .arg(std::count_if(run.referenceLatenessUs.begin(), run.referenceLatenessUs.end(),
                               [](double v) { return v > 1000; }));
    out.append(figure(QStringLiteral("jitter_p50_") + tag, QStringLiteral("Jitter p50, ") + period, QStringLiteral("us"),
                      percentile(pj, 0.50), percentile(bj, 0.50)));
    out.append(figure(QStringLiteral("jitter_p99_") + tag, QStringLiteral("Jitter p99, ") + period, QStringLiteral("us"),
                      percentile(pj, 0.99), percentile(bj, 0.99), Figure::Goal::Below, 250));
    out.append(figure(QStringLiteral("jitter_max_") + tag, QStringLiteral("Jitter max, ") + period, QStringLiteral("us"),
                      maximum(pj), maximum(bj), Figure::Goal::Below, 2000, jitterNote));
    if (withWire) {
        const QString wireNote = QStringLiteral("|kernel arrival stamp on a loopback socket - deadline|; earliest %1 us vs "
                                                "%2 us; %3 vs %4 datagrams lost, %5 vs %6 sends failed; until the "
                                                "receiving thread had woken: p99 %7 vs %8 us")
                                     .arg(minimum(p.wireUs).value_or(0), 0, 'f', 1)
                                     .arg(minimum(b.wireUs).value_or(0), 0, 'f', 1)
                                     .arg(p.datagramsLost)
                                     .arg(b.datagramsLost)
                                     .arg(p.sendFailures)
                                     .arg(b.sendFailures)
                                     .arg(percentile(magnitudes(p.wakeUs), 0.99).value_or(-1), 0, 'f', 0)
                                     .arg(percentile(magnitudes(b.wakeUs), 0.99).value_or(-1), 0, 'f', 0);
        const std::vector<double> pw = magnitudes(p.wireUs);
        const std::vector<double> bw = magnitudes(b.wireUs);
        out.append(figure(QStringLiteral("wire_p50_") + tag, QStringLiteral("Tick to wire p50, ") + period,
                          QStringLiteral("us"), percentile(pw, 0.50), percentile(bw, 0.50)));
        out.append(figure(QStringLiteral("wire_p99_") + tag, QStringLiteral("Tick to wire p99, ") + period,
                          QStringLiteral("us"), percentile(pw, 0.99), percentile(bw, 0.99), Figure::Goal::Below, 500,
                          wireNote));
    }
    return out;
}

QStringList rawLines(const RunResult& run, const QString& name)
{
    QStringList out;
    const auto add = [&](const char* clockName, const char* what, const std::vector<double>& values) {
        for (const double v : values)
            out.append(QStringLiteral("%1,%2,%3,%4").arg(name, QLatin1String(clockName), QLatin1String(what)).arg(v, 0, 'f', 1));
    };
    add("korvo", "lateness", run.project.latenessUs);
    add("korvo", "wire", run.project.wireUs);
    add("korvo", "wake", run.project.wakeUs);
    add("baseline", "lateness", run.baseline.latenessUs);
    add("baseline", "wire", run.baseline.wireUs);
    add("baseline", "wake", run.baseline.wakeUs);
    add("nanosleep", "lateness", run.referenceLatenessUs);
    return out;
}

Figures stallFigures(const RunResult& run, const RunOptions& options)
{
    const ClockTrace& p = run.project;
    const ClockTrace& b = run.baseline;
    const auto final = [](const ClockTrace& t) { return t.drift.empty() ? 0.0 : static_cast<double>(t.drift.back()); };
    Figures out;
    out.append(figure(
        QStringLiteral("stalls"), QStringLiteral("Stalls: drift after %1 blocks").arg(options.stalls),
        QStringLiteral("periods"), static_cast<double>(worst(p.drift)), final(b), Figure::Goal::Equal, 0,
        QStringLiteral("%1 ms period, blocks of 0.3-3.5 periods (seed %2), %3 blocks, %4 periods blocked in all; "
                       "Korvo Timer: worst at any of %5 ticks (at the last %6), baseline: at its last tick%7")
            .arg(options.period.count())
            .arg(options.seed)
            .arg(run.stallsDone)
            .arg(run.stalledPeriods, 0, 'f', 1)
            .arg(p.ticks)
            .arg(final(p))
            .arg(run.timedOut ? QStringLiteral("; RUN TIMED OUT") : QString())));
    return out;
}

} // namespace korvo::bench
