#include "DisplayBench.h"

#include "Stats.h"
#include "model/Checked.h"
#include "model/TimeMessage.h"
#include "platform/MonotonicClock.h"

#include <QEventLoop>
#include <QFile>
#include <QHash>
#include <QHostAddress>
#include <QTimer>
#include <QUdpSocket>

#include <vector>

namespace korvo::bench {

namespace {

struct Latencies
{
    std::vector<double> arrivalToShownUs;
    std::vector<double> sentToShownUs;
    int shown = 0;
};

/// The first "received" and "shown" time of each text in a trace.
Latencies readTrace(const QString& path, const QHash<QByteArray, std::int64_t>& sent)
{
    QHash<QByteArray, std::int64_t> received;
    QHash<QByteArray, std::int64_t> shown;
    QFile file(path);
    if (file.open(QIODevice::ReadOnly)) {
        for (const QByteArray& line : file.readAll().split('\n')) {
            const QList<QByteArray> f = line.trimmed().split(' ');
            if (f.size() != 3)
                continue;
            auto& into = f[0] == "received" ? received : f[0] == "shown" ? shown : received;
            if ((f[0] == "received" || f[0] == "shown") && !into.contains(f[1]))
                into.insert(f[1], f[2].toLongLong());
        }
    }
    Latencies out;
    for (auto it = shown.cbegin(); it != shown.cend(); ++it) {
        if (!sent.contains(it.key()))
            continue;
        ++out.shown;
        out.sentToShownUs.push_back(toMicroseconds(it.value() - sent.value(it.key())));
        if (received.contains(it.key()))
            out.arrivalToShownUs.push_back(toMicroseconds(it.value() - received.value(it.key())));
    }
    return out;
}

} // namespace

Figures runDisplayBench(const DisplayOptions& options)
{
    const platform::SteadyClock clock;
    QUdpSocket socket;
    QHash<QByteArray, std::int64_t> sentProject;
    QHash<QByteArray, std::int64_t> sentBaseline;

    // Half an interval apart, so that the two displays never repaint at the same moment.
    QEventLoop loop;
    int sent = 0;
    QTimer timer;
    timer.setTimerType(Qt::PreciseTimer);
    timer.setInterval(options.intervalMs / 2);
    QObject::connect(&timer, &QTimer::timeout, &loop, [&] {
        const int n = sent / 2;
        const QByteArray text = model::timeMessage(1, model::format00(n / 60) + QLatin1Char(':') + model::format00(n % 60))
                                    .toLatin1();
        const bool toProject = sent % 2 == 0;
        (toProject ? sentProject : sentBaseline).insert(text, clock.now().count());
        socket.writeDatagram(text, QHostAddress(QHostAddress::LocalHost),
                             toProject ? options.projectPort : options.baselinePort);
        if (++sent == 2 * options.count) {
            timer.stop();
            QTimer::singleShot(1000, &loop, &QEventLoop::quit); // let the last repaints be traced
        }
    });
    timer.start();
    loop.exec();

    const Latencies p = readTrace(options.projectTrace, sentProject);
    const Latencies b = readTrace(options.baselineTrace, sentBaseline);

    Figure f;
    f.key = QStringLiteral("display_p99");
    f.label = QStringLiteral("Display: arrival to repaint p99");
    f.unit = QStringLiteral("ms");
    const auto ms = [](std::optional<double> us) { return us ? std::optional<double>(*us / 1000.0) : std::nullopt; };
    f.project = ms(percentile(p.arrivalToShownUs, 0.99));
    f.baseline = ms(percentile(b.arrivalToShownUs, 0.99));
    f.goal = Figure::Goal::Below;
    f.goalValue = 16;
    f.note = QStringLiteral("%1 datagrams %2 ms apart on loopback under Xvfb; shown %3 vs %4; p50 %5 vs %6 ms; "
                            "from the send instead of the arrival: p99 %7 vs %8 ms")
                 .arg(options.count)
                 .arg(options.intervalMs)
                 .arg(p.shown)
                 .arg(b.shown)
                 .arg(ms(percentile(p.arrivalToShownUs, 0.5)).value_or(-1), 0, 'f', 2)
                 .arg(ms(percentile(b.arrivalToShownUs, 0.5)).value_or(-1), 0, 'f', 2)
                 .arg(ms(percentile(p.sentToShownUs, 0.99)).value_or(-1), 0, 'f', 2)
                 .arg(ms(percentile(b.sentToShownUs, 0.99)).value_or(-1), 0, 'f', 2);
    if (p.shown < options.count * 9 / 10)
        f.note += QStringLiteral("; FEWER THAN 90% OF THE DATAGRAMS WERE SHOWN BY korvo-display");
    return {f};
}

} // namespace korvo::bench
