#include "Bench.h"

#include "protocol/DatagramParser.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>

#include <cerrno>
#include <cstdio>

namespace korvo::bench {

namespace {

QJsonValue valueOf(std::optional<double> v)
{
    // Three decimals are finer than any of these measurements resolves.
    return v && std::isfinite(*v) ? QJsonValue(std::round(*v * 1000) / 1000) : QJsonValue();
}

QByteArray wholeFile(const QString& path)
{
    QFile file(path); // files under /proc say they are empty: read them whole, never by size
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

/// The kB value of a "Name:   123 kB" line of /proc/PID/status.
double statusKiB(const QByteArray& status, const QByteArray& name)
{
    const qsizetype at = status.indexOf('\n' + name + ':');
    if (at < 0)
        return 0;
    const qsizetype end = status.indexOf('\n', at + 1);
    return status.mid(at + name.size() + 2, end - at - name.size() - 2).simplified().split(' ').value(0).toDouble();
}

} // namespace

std::optional<Goal> goalFrom(const QString& text)
{
    const QStringList f = text.split(QLatin1Char(':'));
    bool ok = false;
    const double value = f.value(1).toDouble(&ok);
    if (text.isEmpty() || !ok)
        return std::nullopt;
    return Goal { f[0], value, f.value(2) };
}

QJsonObject figure(const QString& key, const QString& label, const QString& unit, std::optional<double> korvo,
                   std::optional<double> baseline, std::optional<double> floor, const std::optional<Goal>& goal,
                   const QString& note)
{
    QJsonObject f { { "key", key },
                    { "label", label },
                    { "unit", unit },
                    { "korvo", valueOf(korvo) },
                    { "baseline", valueOf(baseline) },
                    { "floor", valueOf(floor) },
                    { "goal", QJsonValue() },
                    { "note", note } };
    if (goal) {
        QJsonObject g { { "op", goal->op }, { "value", goal->value } };
        if (!goal->of.isEmpty())
            g.insert(QStringLiteral("of"), goal->of);
        f.insert(QStringLiteral("goal"), g);
    }
    return f;
}

QJsonObject signedFigure(const QString& key, const QString& label, const QString& unit, std::optional<double> korvo,
                         std::optional<double> baseline, std::optional<double> floor, const std::optional<Goal>& goal,
                         const QString& note)
{
    QJsonObject f = figure(key, label, unit, korvo, baseline, floor, goal, note);
    f.insert(QStringLiteral("signed"), true);
    return f;
}

QJsonObject part(const QString& section, int order, const QString& about, const QString& baselineName,
                 const QString& floorName, const QJsonArray& figures)
{
    return { { "section", section },
             { "order", order },
             { "about", about },
             { "columns", QJsonObject { { "baseline", baselineName }, { "floor", floorName } } },
             { "figures", figures } };
}

bool writeJson(const QString& path, const QJsonObject& object)
{
    QFile file(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(QJsonDocument(object).toJson()) > 0)
        return true;
    std::fprintf(stderr, "korvo-bench: cannot write %s\n", qPrintable(path));
    return false;
}

QJsonObject readJson(const QString& path)
{
    return QJsonDocument::fromJson(wholeFile(path)).object();
}

std::vector<double> aroundMedian(const std::vector<double>& values)
{
    const double m = percentile(values, 0.5).value_or(0);
    std::vector<double> out;
    out.reserve(values.size());
    for (const double v : values)
        out.push_back(std::fabs(v - m));
    return out;
}

std::optional<double> slope(const std::vector<double>& x, const std::vector<double>& y)
{
    std::vector<double> slopes;
    const std::size_t n = std::min(x.size(), y.size());
    for (std::size_t i = 0; i < n; ++i) {
        for (std::size_t j = i + 1; j < n; ++j) {
            if (x[j] != x[i])
                slopes.push_back((y[j] - y[i]) / (x[j] - x[i]));
        }
    }
    return percentile(slopes, 0.5);
}

std::int64_t nsOf(const timespec& t)
{
    return std::int64_t { t.tv_sec } * 1'000'000'000 + t.tv_nsec;
}

std::int64_t nowNs(clockid_t clock)
{
    timespec t {};
    ::clock_gettime(clock, &t);
    return nsOf(t);
}

std::int64_t realtimeOffsetNs()
{
    // The tightest of a few readings brackets the monotonic one best.
    std::int64_t best = 0;
    std::int64_t bestWidth = -1;
    for (int i = 0; i < 5; ++i) {
        const std::int64_t a = nowNs(CLOCK_REALTIME);
        const std::int64_t m = nowNs(CLOCK_MONOTONIC);
        const std::int64_t b = nowNs(CLOCK_REALTIME);
        if (bestWidth < 0 || b - a < bestWidth) {
            bestWidth = b - a;
            best = a + (b - a) / 2 - m;
        }
    }
    return best;
}

void sleepUntil(std::int64_t deadline)
{
    const timespec d { static_cast<time_t>(deadline / 1'000'000'000), static_cast<long>(deadline % 1'000'000'000) };
    while (::clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &d, nullptr) == EINTR) { }
}

ProcessSample sampleProcess(pid_t pid)
{
    ProcessSample s;
    const QString proc = QStringLiteral("/proc/%1").arg(pid);
    const QByteArray status = wholeFile(proc + QStringLiteral("/status"));
    if (status.isEmpty())
        return s;
    s.alive = true;
    s.rssMiB = statusKiB(status, "VmRSS") / 1024;
    s.peakRssMiB = statusKiB(status, "VmHWM") / 1024;
    s.anonMiB = statusKiB(status, "RssAnon") / 1024;
    // The switch counts of /proc/PID/status are the main thread's only: add up every thread's.
    for (const QString& task : QDir(proc + QStringLiteral("/task")).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        const QString dir = proc + QStringLiteral("/task/") + task;
        s.cpuNs += wholeFile(dir + QStringLiteral("/schedstat")).split(' ').value(0).toLongLong();
        const QByteArray taskStatus = wholeFile(dir + QStringLiteral("/status"));
        const auto count = [&](const QByteArray& name) {
            const qsizetype at = taskStatus.indexOf('\n' + name + ':');
            const qsizetype end = taskStatus.indexOf('\n', at + 1);
            return at < 0 ? 0 : taskStatus.mid(at + name.size() + 2, end - at - name.size() - 2).trimmed().toLongLong();
        };
        const std::int64_t voluntary = count("voluntary_ctxt_switches");
        s.voluntary += voluntary;
        s.switches += voluntary + count("nonvoluntary_ctxt_switches");
    }
    return s;
}

QString loadAverage()
{
    return QString::fromLatin1(wholeFile(QStringLiteral("/proc/loadavg"))).section(QLatin1Char(' '), 0, 2);
}

void progress(const QString& text)
{
    std::fprintf(stderr, "korvo-bench: %s\n", qPrintable(text));
}

std::optional<int> shownSeconds(const QByteArray& payload)
{
    const auto parsed
        = protocol::parseDatagram(std::string_view(payload.constData(), static_cast<std::size_t>(payload.size())));
    const auto* time = std::get_if<protocol::TimeDatagram>(&parsed);
    if (time == nullptr)
        return std::nullopt;
    const std::size_t colon = time->clock.find(':');
    return std::stoi(time->clock.substr(0, colon)) * 60 + std::stoi(time->clock.substr(colon + 1));
}

} // namespace korvo::bench
