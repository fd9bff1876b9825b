// The project's timer and socket against the obvious clock, side by side in one event loop: drift,
// event-loop stalls, jitter of each tick and the time from a tick's deadline to its datagram on the wire.

#include "Bench.h"

#include "errors/RuntimeError.h"
#include "model/TimeText.h"
#include "protocol/TimeMessage.h"
#include "platform/HiTimer.h"
#include "platform/MonotonicClock.h"
#include "platform/UdpSocket.h"

#include <QEventLoop>
#include <QFile>
#include <QHostAddress>
#include <QTimer>
#include <QUdpSocket>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <map>
#include <random>
#include <stdexcept>
#include <thread>

namespace korvo::bench {

namespace {

using std::chrono::milliseconds;
using std::chrono::nanoseconds;

std::int64_t nsOf(const timespec& t)
{
    return std::int64_t{t.tv_sec} * 1'000'000'000 + t.tv_nsec;
}

std::int64_t now(clockid_t clock)
{
    timespec t{};
    ::clock_gettime(clock, &t);
    return nsOf(t);
}

/// Two loopback UDP sockets, one per clock. The kernel stamps each datagram as it is queued, so its arrival
/// is known exactly however late the reading thread (or the event loop under test) gets to it.
class Receiver final
{
public:
    Receiver()
    {
        for (std::size_t i = 0; i < 2; ++i) {
            m_fds[i] = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
            sockaddr_in a{};
            a.sin_family = AF_INET;
            a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            socklen_t len = sizeof a;
            const int on = 1;
            if (m_fds[i] < 0 || ::bind(m_fds[i], reinterpret_cast<sockaddr*>(&a), sizeof a) != 0
                || ::getsockname(m_fds[i], reinterpret_cast<sockaddr*>(&a), &len) != 0
                || ::setsockopt(m_fds[i], SOL_SOCKET, SO_TIMESTAMPNS, &on, sizeof on) != 0)
                throw std::runtime_error("cannot bind a loopback receiver");
            ports[i] = ntohs(a.sin_port);
        }
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

    void stop()
    {
        m_stop = true;
        if (m_thread.joinable())
            m_thread.join();
    }

    std::array<quint16, 2> ports{};
    /// Per socket: payload and arrival on CLOCK_REALTIME (the kernel's stamps); read after stop().
    std::array<std::vector<std::pair<QByteArray, std::int64_t>>, 2> arrivals;

private:
    void run()
    {
        std::array<pollfd, 2> p{pollfd{m_fds[0], POLLIN, 0}, pollfd{m_fds[1], POLLIN, 0}};
        std::array<char, 512> buffer{};
        while (!m_stop) {
            if (::poll(p.data(), p.size(), 20) <= 0)
                continue;
            for (std::size_t i = 0; i < 2; ++i) {
                iovec io{buffer.data(), buffer.size()};
                alignas(cmsghdr) std::array<char, CMSG_SPACE(sizeof(timespec))> control{};
                msghdr m{};
                m.msg_iov = &io;
                m.msg_iovlen = 1;
                m.msg_control = control.data();
                m.msg_controllen = control.size();
                const ssize_t n = (p[i].revents & POLLIN) != 0 ? ::recvmsg(m_fds[i], &m, MSG_DONTWAIT) : -1;
                const cmsghdr* c = n < 0 ? nullptr : CMSG_FIRSTHDR(&m);
                if (c != nullptr && c->cmsg_level == SOL_SOCKET && c->cmsg_type == SCM_TIMESTAMPNS) {
                    timespec ts{};
                    std::memcpy(&ts, CMSG_DATA(c), sizeof ts);
                    arrivals[i].emplace_back(QByteArray(buffer.data(), n), nsOf(ts));
                }
            }
        }
    }

    std::array<int, 2> m_fds{-1, -1};
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

/// What one clock did. Drift is, at each tick, the periods it has moved minus floor(monotonic time since it
/// was switched on / period): negative means behind.
struct Trace
{
    std::vector<std::int64_t> drift;
    std::vector<double> lateUs; ///< per tick event: its start after the deadline it stands for
    std::vector<double> wireUs; ///< per datagram: that deadline to the kernel's arrival stamp
    std::map<QByteArray, std::int64_t> deadlines;
    nanoseconds start{0};
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
        drift.push_back(advance - (at - start) / period);
        lateUs.push_back(static_cast<double>((at - deadline).count()) / 1000.0);
        const QByteArray text = protocol::timeMessage(1, model::clockText(advance / 60, advance % 60)).toLatin1();
        deadlines.emplace(text, deadline.count());
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
    [[nodiscard]] std::int64_t last() const { return drift.empty() ? 0 : drift.back(); }
};

struct Run
{
    Trace project; ///< HiTimer + UdpSocket, the components the clock program uses
    Trace baseline; ///< a repeating coarse QTimer adding one per timeout + QUdpSocket
    /// A bare thread sleeping to the same grid with clock_nanosleep (a quarter period later): the lateness
    /// this machine (and its hypervisor) gives any timer.
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
    Receiver receiver;
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
    udp.setRemotePort(receiver.ports[0]);
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
            if (qudp.writeDatagram(text, QHostAddress(QHostAddress::LocalHost), receiver.ports[1]) < 0)
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

    std::atomic<bool> floorStop{false};
    std::thread nanosleeper([&] {
        if (stalls > 0)
            return;
        const std::int64_t start = now(CLOCK_MONOTONIC) + nanoseconds(period).count() / 4;
        for (std::int64_t k = 1; k <= periods && !floorStop; ++k) {
            const std::int64_t deadline = start + k * nanoseconds(period).count();
            const timespec d{static_cast<time_t>(deadline / 1'000'000'000),
                             static_cast<long>(deadline % 1'000'000'000)};
            while (::clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &d, nullptr) == EINTR) { }
            run.floorUs.push_back(static_cast<double>(now(CLOCK_MONOTONIC) - deadline) / 1000.0);
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
    receiver.stop();
    const std::int64_t realtime = now(CLOCK_REALTIME) - now(CLOCK_MONOTONIC); // kernel stamps are on it
    Trace* traces[] = {&run.project, &run.baseline};
    for (std::size_t i = 0; i < 2; ++i) {
        for (const auto& [payload, stamp] : receiver.arrivals[i]) {
            if (const auto d = traces[i]->deadlines.find(payload); d != traces[i]->deadlines.end())
                traces[i]->wireUs.push_back(static_cast<double>(stamp - realtime - d->second) / 1000.0);
        }
    }
    return run;
}

/// Drift, jitter and (at 50 ms) tick to wire of an idle run.
void idleFigures(QJsonArray& out, const Run& run, milliseconds period, int periods, const QString& load)
{
    const Trace& p = run.project;
    const Trace& b = run.baseline;
    const QString tag = QStringLiteral("_%1ms").arg(period.count());
    const QString of = QStringLiteral(", %1 ms").arg(period.count());
    out.append(figure(QStringLiteral("drift") + tag,
                      QStringLiteral("Drift, %1 ticks of %2 ms").arg(periods).arg(period.count()),
                      QStringLiteral("periods"), p.worst(), b.worst(), QStringLiteral("eq"), 0,
                      QStringLiteral("worst advance - floor(elapsed/period) over every tick (negative: behind); at "
                                     "the last tick %1 vs %2; %3 vs %4 tick events; %5 vs %6 late events%7")
                          .arg(p.last())
                          .arg(b.last())
                          .arg(p.drift.size())
                          .arg(b.drift.size())
                          .arg(p.lateEvents)
                          .arg(b.lateEvents)
                          .arg(run.timedOut ? QStringLiteral("; RUN TIMED OUT") : QString())));
    // A coarse timer also fires early (Qt lines its timeouts up on a grid of its own, up to 5% of the
    // interval off the one the clock started): a tick early by x is as wrong as one late by x.
    const std::vector<double> pj = magnitudes(p.lateUs);
    const std::vector<double> bj = magnitudes(b.lateUs);
    const auto over1ms = [](const std::vector<double>& v) {
        return std::count_if(v.begin(), v.end(), [](double x) { return x > 1000; });
    };
    const QString floorNote
        = QStringLiteral("|tick handler start - its deadline|; earliest %1 vs %2 us (negative: before it); over 1 ms: "
                         "%3 vs %4 ticks; a bare thread sleeping to the same grid with clock_nanosleep, the machine's "
                         "own floor: p50 %5, p99 %6, max %7 us, %8 over 1 ms")
              .arg(percentile(p.lateUs, 0).value_or(0), 0, 'f', 1)
              .arg(percentile(b.lateUs, 0).value_or(0), 0, 'f', 1)
              .arg(over1ms(pj))
              .arg(over1ms(bj))
              .arg(percentile(run.floorUs, 0.5).value_or(-1), 0, 'f', 0)
              .arg(percentile(run.floorUs, 0.99).value_or(-1), 0, 'f', 0)
              .arg(percentile(run.floorUs, 1).value_or(-1), 0, 'f', 0)
              .arg(over1ms(run.floorUs));
    out.append(figure(QStringLiteral("jitter_p50") + tag, QStringLiteral("Jitter p50") + of, QStringLiteral("us"),
                      percentile(pj, 0.5), percentile(bj, 0.5)));
    out.append(figure(QStringLiteral("jitter_p99") + tag, QStringLiteral("Jitter p99") + of, QStringLiteral("us"),
                      percentile(pj, 0.99), percentile(bj, 0.99), QStringLiteral("lt"), 250,
                      QStringLiteral("load average (1, 5, 15 min) when the runs began: ") + load));
    out.append(figure(QStringLiteral("jitter_max") + tag, QStringLiteral("Jitter max") + of, QStringLiteral("us"),
                      percentile(pj, 1), percentile(bj, 1), QStringLiteral("lt"), 2000, floorNote));
    if (period.count() != 50)
        return;
    const std::vector<double> pw = magnitudes(p.wireUs);
    const std::vector<double> bw = magnitudes(b.wireUs);
    out.append(figure(QStringLiteral("wire_p50") + tag, QStringLiteral("Tick to wire p50") + of, QStringLiteral("us"),
                      percentile(pw, 0.5), percentile(bw, 0.5)));
    out.append(figure(QStringLiteral("wire_p99") + tag, QStringLiteral("Tick to wire p99") + of, QStringLiteral("us"),
                      percentile(pw, 0.99), percentile(bw, 0.99), QStringLiteral("lt"), 500,
                      QStringLiteral("|kernel arrival stamp on a loopback socket - deadline|; %1 vs %2 datagrams "
                                     "lost, %3 vs %4 sends failed")
                          .arg(p.deadlines.size() - p.wireUs.size())
                          .arg(b.deadlines.size() - b.wireUs.size())
                          .arg(p.sendFailures)
                          .arg(b.sendFailures)));
}

void progress(const QString& text)
{
    std::fprintf(stderr, "korvo-bench: %s\n", qPrintable(text));
}

} // namespace

QJsonArray timingFigures(bool full, bool smoke)
{
    QJsonArray out;
    QFile loadavg(QStringLiteral("/proc/loadavg")); // says it is empty: read whole, never by size
    const QString load
        = loadavg.open(QIODevice::ReadOnly) ? QString::fromLatin1(loadavg.readAll()).section(' ', 0, 2) : QString();
    const int periods = smoke ? 200 : 2000;
    const int stalls = smoke ? 20 : 200;
    progress(QStringLiteral("drift, jitter and tick to wire: %1 ticks of 50 ms").arg(periods));
    idleFigures(out, runClocks(milliseconds(50), periods, 0), milliseconds(50), periods, load);

    progress(QStringLiteral("stalls: %1 blocks of the event loop, 50 ms period").arg(stalls));
    const Run s = runClocks(milliseconds(50), 0, stalls);
    out.append(figure(
        QStringLiteral("stalls"), QStringLiteral("Stalls: drift after %1 blocks").arg(stalls),
        QStringLiteral("periods"), s.project.worst(), static_cast<double>(s.baseline.last()), QStringLiteral("eq"), 0,
        QStringLiteral("50 ms period, blocks of 0.3-3.5 periods (seed 7699), %1 periods blocked in all; "
                       "Korvo Timer: worst at any of %2 ticks (at the last %3), baseline: at its last tick%4")
            .arg(s.stalledPeriods, 0, 'f', 1)
            .arg(s.project.drift.size())
            .arg(s.project.last())
            .arg(s.timedOut ? QStringLiteral("; RUN TIMED OUT") : QString())));

    if (!full) {
        out.append(figure(QStringLiteral("drift_1000ms"), QStringLiteral("Drift, 300 ticks of 1000 ms"),
                          QStringLiteral("periods"), std::nullopt, std::nullopt, QStringLiteral("eq"), 0,
                          QStringLiteral("not run: it takes 5 minutes; scripts/bench --full runs it")));
        return out;
    }
    progress(QStringLiteral("drift and jitter: 300 ticks of 1000 ms (5 minutes)"));
    idleFigures(out, runClocks(milliseconds(1000), 300, 0), milliseconds(1000), 300, load);
    return out;
}

} // namespace korvo::bench
