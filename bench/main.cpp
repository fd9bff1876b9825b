// korvo-bench: the measurements scripts/bench runs. Each writes (or adds to) one part: a JSON file holding
// one section of the results, which scripts/bench-table turns into a table.
//
//   korvo-bench timing --out PART [--smoke]
//   korvo-bench program --out PART --clock PID --baseline PID [--accuracy S] [--cpu S] [--settle S]
//                       [--stalls S,S,...] [--raw FILE]
//   korvo-bench display-latency --out PART --fb FILE --korvo TARGET --baseline TARGET [--count N]
//   korvo-bench display-flood --out PART --fb FILE --korvo TARGET --baseline TARGET [--seconds S] [--rate N]
//           TARGET: PORT,PID,X,Y,WIDTH,HEIGHT[,TRACE-FILE]  (a display program and its window on the screen)
//   korvo-bench figure --out PART --section TEXT --order N [--about TEXT] [--baseline-name TEXT]
//                      [--floor-name TEXT] --key K --label TEXT --unit U [--korvo V] [--baseline V] [--floor V]
//                      [--goal OP:VALUE[:baseline|floor]] [--note TEXT]   (a figure a script measured)
#include "Bench.h"
#include "DisplayBench.h"
#include "ProgramBench.h"

#include <QCoreApplication>
#include <QFileInfo>

#include <cstdio>
#include <exception>

using namespace korvo::bench;

namespace {

/// The value after `name` on the command line, or empty.
QString option(const QString& name)
{
    const QStringList args = QCoreApplication::arguments();
    const qsizetype i = args.indexOf(name);
    return i >= 0 && i + 1 < args.size() ? args.at(i + 1) : QString();
}

double numberOr(const QString& name, double fallback)
{
    bool ok = false;
    const double v = option(name).toDouble(&ok);
    return ok ? v : fallback;
}

std::optional<double> number(const QString& name)
{
    bool ok = false;
    const double v = option(name).toDouble(&ok);
    return ok ? std::optional<double>(v) : std::nullopt;
}

/// Adds `figures` to the part in `path`, or writes `fresh` with them when there is none yet.
bool addToPart(const QString& path, QJsonObject fresh, const QJsonArray& figures)
{
    QJsonObject p = QFileInfo::exists(path) ? readJson(path) : fresh;
    QJsonArray all = p[QStringLiteral("figures")].toArray();
    for (const QJsonValue f : figures)
        all.append(f);
    p.insert(QStringLiteral("figures"), all);
    return writeJson(path, p);
}

DisplayTarget target(const QString& name)
{
    const QStringList f = option(name).split(QLatin1Char(','));
    if (f.size() < 6)
        throw std::runtime_error("--korvo and --baseline need PORT,PID,X,Y,WIDTH,HEIGHT[,TRACE]");
    return { static_cast<std::uint16_t>(f[0].toUInt()), static_cast<pid_t>(f[1].toInt()),
             QRect(f[2].toInt(), f[3].toInt(), f[4].toInt(), f[5].toInt()), f.value(6) };
}

QJsonObject displaySection()
{
    return part(QStringLiteral("The displays"), 30,
                QStringLiteral("korvo-display beside the naive display (a QLabel showing each datagram's text), "
                               "each in a 960x540 window under Xvfb in the same network namespace. Pixels are read "
                               "from Xvfb's frame buffer (-fbdir), which is the screen: no compositor follows it. "
                               "Load average when it began: %1.")
                    .arg(loadAverage()),
                QStringLiteral("Naive display"), QString(), {});
}

int run(const QString& command, const QString& out)
{
    if (command == QLatin1String("timing"))
        return writeJson(out, timingPart(QCoreApplication::arguments().contains(QStringLiteral("--smoke")))) ? 0 : 1;
    if (command == QLatin1String("program")) {
        ProgramOptions o;
        o.clock = static_cast<pid_t>(option(QStringLiteral("--clock")).toInt());
        o.baseline = static_cast<pid_t>(option(QStringLiteral("--baseline")).toInt());
        o.accuracySeconds = numberOr(QStringLiteral("--accuracy"), o.accuracySeconds);
        o.cpuSeconds = numberOr(QStringLiteral("--cpu"), o.cpuSeconds);
        o.settleSeconds = numberOr(QStringLiteral("--settle"), o.settleSeconds);
        if (!option(QStringLiteral("--stalls")).isEmpty()) {
            o.stalls.clear();
            for (const QString& s : option(QStringLiteral("--stalls")).split(QLatin1Char(',')))
                o.stalls.push_back(s.toDouble());
        }
        o.raw = option(QStringLiteral("--raw"));
        if (o.clock <= 0 || o.baseline <= 0)
            throw std::runtime_error("program needs --clock PID and --baseline PID");
        return writeJson(out, programPart(o)) ? 0 : 1;
    }
    if (command == QLatin1String("display-latency") || command == QLatin1String("display-flood")) {
        DisplayOptions o;
        o.framebuffer = option(QStringLiteral("--fb"));
        o.korvo = target(QStringLiteral("--korvo"));
        o.baseline = target(QStringLiteral("--baseline"));
        o.count = static_cast<int>(numberOr(QStringLiteral("--count"), o.count));
        o.floodSeconds = numberOr(QStringLiteral("--seconds"), o.floodSeconds);
        o.floodRate = static_cast<int>(numberOr(QStringLiteral("--rate"), o.floodRate));
        return addToPart(out, displaySection(),
                         command == QLatin1String("display-flood") ? displayFloodFigures(o) : displayLatencyFigures(o))
            ? 0
            : 1;
    }
    if (command == QLatin1String("figure")) {
        const QJsonObject fresh
            = part(option(QStringLiteral("--section")), static_cast<int>(numberOr(QStringLiteral("--order"), 90)),
                   option(QStringLiteral("--about")), option(QStringLiteral("--baseline-name")),
                   option(QStringLiteral("--floor-name")), {});
        const QJsonObject f = figure(option(QStringLiteral("--key")), option(QStringLiteral("--label")),
                                     option(QStringLiteral("--unit")), number(QStringLiteral("--korvo")),
                                     number(QStringLiteral("--baseline")), number(QStringLiteral("--floor")),
                                     goalFrom(option(QStringLiteral("--goal"))), option(QStringLiteral("--note")));
        return addToPart(out, fresh, QJsonArray { f }) ? 0 : 1;
    }
    std::fprintf(stderr, "usage: see the top of bench/main.cpp\n");
    return 2;
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const QString out = option(QStringLiteral("--out"));
    if (out.isEmpty()) {
        std::fprintf(stderr, "usage: see the top of bench/main.cpp\n");
        return 2;
    }
    try {
        return run(QCoreApplication::arguments().value(1), out);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "korvo-bench: %s\n", e.what());
        return 1;
    }
}
