// korvo-bench: the timing benchmarks and the report that puts every measured figure in one table.
//
//   korvo-bench timing --out FILE [--raw CSV] [--full] [--seed N] [--periods N] [--stalls N]
//   korvo-bench display --project-port P --project-trace FILE --baseline-port Q --baseline-trace FILE
//                       --out FILE [--count N]
//   korvo-bench figure --out FILE --key K --label TEXT --unit U [--project V] [--baseline V]
//                      [--goal lt:V|eq:V] [--note TEXT]      (adds one figure measured by the script)
//   korvo-bench report --out FILE [--command TEXT] PART.json...
#include "DisplayBench.h"
#include "Figures.h"
#include "TimingBench.h"

#include <QCoreApplication>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStringList>

#include <cstdio>
#include <exception>
#include <optional>

using namespace korvo::bench;

namespace {

int usage()
{
    std::fprintf(stderr, "usage: korvo-bench timing --out FILE [--raw CSV] [--full] [--seed N] [--periods N] [--stalls N]\n"
                         "       korvo-bench display --project-port P --project-trace FILE --baseline-port Q\n"
                         "                           --baseline-trace FILE --out FILE [--count N]\n"
                         "       korvo-bench figure --out FILE --key K --label TEXT --unit U [--project V]\n"
                         "                          [--baseline V] [--goal lt:V|eq:V] [--note TEXT]\n"
                         "       korvo-bench report --out FILE [--command TEXT] PART.json...\n");
    return 2;
}

/// The value after `name`, or `fallback`.
QString option(const QStringList& args, const QString& name, const QString& fallback = {})
{
    const qsizetype i = args.indexOf(name);
    return i >= 0 && i + 1 < args.size() ? args.at(i + 1) : fallback;
}

void progress(const char* text)
{
    std::fprintf(stderr, "korvo-bench: %s\n", text);
    std::fflush(stderr);
}

int timing(const QStringList& args)
{
    const QString out = option(args, QStringLiteral("--out"));
    if (out.isEmpty())
        return usage();
    const bool full = args.contains(QStringLiteral("--full"));
    const auto seed = option(args, QStringLiteral("--seed"), QStringLiteral("7699")).toUInt();
    const int periods = option(args, QStringLiteral("--periods"), QStringLiteral("2000")).toInt();
    const int stallCount = option(args, QStringLiteral("--stalls"), QStringLiteral("200")).toInt();

    Figures figures;
    QJsonObject extra;
    // Jitter goals hold on an idle machine; say how idle it was.
    const QString loadAtStart = machineInfo().value(QStringLiteral("loadavg")).toString().section(QLatin1Char(' '), 0, 2);
    extra.insert(QStringLiteral("loadavg_at_start"), loadAtStart);

    RunOptions idle;
    idle.period = std::chrono::milliseconds(50);
    idle.periods = periods;
    progress(qPrintable(QStringLiteral("drift, jitter and tick to wire: %1 ticks of 50 ms").arg(periods)));
    const RunResult fast = runClocks(idle);
    QStringList raw = rawLines(fast, QStringLiteral("50ms"));
    figures += idleFigures(fast, idle, QStringLiteral("50ms"), true);
    for (Figure& f : figures) {
        if (f.key == QLatin1String("jitter_p99_50ms"))
            f.note = QStringLiteral("load average (1, 5, 15 min) when the runs began: ") + loadAtStart;
    }
    extra.insert(QStringLiteral("seconds_50ms"), fast.seconds);

    RunOptions blocked;
    blocked.period = std::chrono::milliseconds(50);
    blocked.stalls = stallCount;
    blocked.seed = seed;
    progress(qPrintable(QStringLiteral("stalls: %1 blocks of the event loop, 50 ms period").arg(stallCount)));
    const RunResult stalled = runClocks(blocked);
    figures += stallFigures(stalled, blocked);
    extra.insert(QStringLiteral("seconds_stalls"), stalled.seconds);

    RunOptions slow;
    slow.period = std::chrono::milliseconds(1000);
    slow.periods = 300;
    if (full) {
        progress("drift and jitter: 300 ticks of 1000 ms (5 minutes)");
        const RunResult second = runClocks(slow);
        figures += idleFigures(second, slow, QStringLiteral("1000ms"), false);
        raw += rawLines(second, QStringLiteral("1000ms"));
        extra.insert(QStringLiteral("seconds_1000ms"), second.seconds);
    } else {
        Figure f;
        f.key = QStringLiteral("drift_1000ms");
        f.label = QStringLiteral("Drift, 300 ticks of 1000 ms");
        f.unit = QStringLiteral("periods");
        f.goal = Figure::Goal::Equal;
        f.note = QStringLiteral("not run: it takes 5 minutes; scripts/bench --full runs it");
        figures.append(f);
    }
    if (const QString rawPath = option(args, QStringLiteral("--raw")); !rawPath.isEmpty()) {
        QFile file(rawPath);
        if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            file.write((QStringLiteral("run,clock,what,us\n") + raw.join(QLatin1Char('\n')) + QLatin1Char('\n')).toUtf8());
    }
    return writeFigures(out, figures, extra) ? 0 : 1;
}

int display(const QStringList& args)
{
    DisplayOptions o;
    o.projectPort = static_cast<quint16>(option(args, QStringLiteral("--project-port")).toUInt());
    o.projectTrace = option(args, QStringLiteral("--project-trace"));
    o.baselinePort = static_cast<quint16>(option(args, QStringLiteral("--baseline-port")).toUInt());
    o.baselineTrace = option(args, QStringLiteral("--baseline-trace"));
    o.count = option(args, QStringLiteral("--count"), QStringLiteral("300")).toInt();
    const QString out = option(args, QStringLiteral("--out"));
    if (o.projectPort == 0 || o.baselinePort == 0 || o.projectTrace.isEmpty() || o.baselineTrace.isEmpty()
        || out.isEmpty() || o.count < 1)
        return usage();
    progress(qPrintable(QStringLiteral("display: %1 datagrams to each display").arg(o.count)));
    return writeFigures(out, runDisplayBench(o)) ? 0 : 1;
}

std::optional<double> numberOption(const QStringList& args, const QString& name)
{
    bool ok = false;
    const double v = option(args, name).toDouble(&ok);
    return ok ? std::optional<double>(v) : std::nullopt;
}

int addFigure(const QStringList& args)
{
    const QString out = option(args, QStringLiteral("--out"));
    Figure f;
    f.key = option(args, QStringLiteral("--key"));
    f.label = option(args, QStringLiteral("--label"));
    f.unit = option(args, QStringLiteral("--unit"));
    f.project = numberOption(args, QStringLiteral("--project"));
    f.baseline = numberOption(args, QStringLiteral("--baseline"));
    f.note = option(args, QStringLiteral("--note"));
    const QString goal = option(args, QStringLiteral("--goal"));
    if (goal.startsWith(QLatin1String("lt:")))
        f.goal = Figure::Goal::Below;
    else if (goal.startsWith(QLatin1String("eq:")))
        f.goal = Figure::Goal::Equal;
    f.goalValue = goal.mid(3).toDouble();
    if (out.isEmpty() || f.key.isEmpty() || f.label.isEmpty())
        return usage();
    Figures figures = QFile::exists(out) ? readFigures(out) : Figures{};
    figures.append(f);
    return writeFigures(out, figures) ? 0 : 1;
}

int report(const QStringList& args)
{
    const QString out = option(args, QStringLiteral("--out"));
    const QString command = option(args, QStringLiteral("--command"));
    if (out.isEmpty())
        return usage();
    Figures figures;
    for (qsizetype i = 2; i < args.size(); ++i) {
        if (args[i] == QLatin1String("--out") || args[i] == QLatin1String("--command")) {
            ++i;
            continue;
        }
        figures += readFigures(args[i]);
    }
    const QJsonObject machine = machineInfo();
    std::fputs(qPrintable(formatTable(figures, machine)), stdout);

    QJsonArray array;
    int missed = 0;
    for (const Figure& f : figures) {
        array.append(f.toJson());
        if (f.met() == false)
            ++missed;
    }
    QJsonObject root;
    root.insert(QStringLiteral("machine"), machine);
    root.insert(QStringLiteral("command"), command);
    root.insert(QStringLiteral("figures"), array);
    QFile file(out);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        std::fprintf(stderr, "korvo-bench: cannot write %s\n", qPrintable(out));
        return 1;
    }
    file.write(QJsonDocument(root).toJson(QJsonDocument::Indented));
    std::printf("\n%d goal(s) missed; results written to %s\n", missed, qPrintable(out));
    return 0;
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    if (args.size() < 2)
        return usage();
    try {
        if (args[1] == QLatin1String("timing"))
            return timing(args);
        if (args[1] == QLatin1String("display"))
            return display(args);
        if (args[1] == QLatin1String("figure"))
            return addFigure(args);
        if (args[1] == QLatin1String("report"))
            return report(args);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "korvo-bench: %s\n", e.what());
        return 1;
    }
    return usage();
}
