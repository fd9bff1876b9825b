// korvo-bench: the timing and display benchmarks, and the report that puts every figure in one table.
//
//   korvo-bench timing --out PART [--full] [--smoke]
//   korvo-bench display --project-port P --project-trace FILE --baseline-port Q --baseline-trace FILE --out PART
//   korvo-bench figure --out PART --key K --label TEXT --unit U [--project V] [--baseline V] [--goal lt:V|eq:V]
//                      [--note TEXT]          (adds a figure the script measured to PART)
//   korvo-bench report --out FILE [--command TEXT] PART...
#include "Bench.h"

#include "model/TimeText.h"
#include "protocol/TimeMessage.h"
#include "platform/MonotonicClock.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QFile>
#include <QHash>
#include <QHostAddress>
#include <QJsonDocument>
#include <QSysInfo>
#include <QTimer>
#include <QUdpSocket>

#include <cstdio>
#include <exception>
#include <thread>

namespace korvo::bench {

QJsonObject figure(const QString& key, const QString& label, const QString& unit, std::optional<double> project,
                   std::optional<double> baseline, const QString& goal, double goalValue, const QString& note)
{
    const auto value = [](std::optional<double> v) { return v ? QJsonValue(*v) : QJsonValue(); };
    const bool judged = goal != QLatin1String("none") && project;
    const bool met = judged && (goal == QLatin1String("eq") ? *project == goalValue : *project < goalValue);
    return {{"key", key},
            {"label", label},
            {"unit", unit},
            {"project", value(project)},
            {"baseline", value(baseline)},
            {"goal", goal},
            {"goal_value", goal == QLatin1String("none") ? QJsonValue() : QJsonValue(goalValue)},
            {"met", judged ? QJsonValue(met) : QJsonValue()},
            {"note", note}};
}

} // namespace korvo::bench

using namespace korvo;
using namespace korvo::bench;

namespace {

/// The value after `name` on the command line, or empty.
QString option(const QString& name)
{
    const QStringList args = QCoreApplication::arguments();
    const qsizetype i = args.indexOf(name);
    return i >= 0 && i + 1 < args.size() ? args.at(i + 1) : QString();
}

std::optional<double> number(const QString& text)
{
    bool ok = false;
    const double v = text.toDouble(&ok);
    return ok ? std::optional<double>(v) : std::nullopt;
}

QJsonArray readPart(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QJsonDocument::fromJson(file.readAll()).array();
}

bool write(const QString& path, const QJsonDocument& doc)
{
    QFile file(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(doc.toJson()) > 0)
        return true;
    std::fprintf(stderr, "korvo-bench: cannot write %s\n", qPrintable(path));
    return false;
}

/// Sends 300 time datagrams on loopback, alternately to each display (25 ms apart, so that they never repaint
/// at once), then reads their traces: "received TEXT NS" when the datagram arrived, "shown TEXT NS" at the end
/// of the repaint that shows it (CLOCK_MONOTONIC).
QJsonObject displayFigure()
{
    constexpr int kCount = 300;
    const platform::SteadyClock clock;
    QUdpSocket socket;
    QHash<QByteArray, std::int64_t> sent[2];
    const quint16 ports[2] = {static_cast<quint16>(option(QStringLiteral("--project-port")).toUInt()),
                              static_cast<quint16>(option(QStringLiteral("--baseline-port")).toUInt())};
    QEventLoop loop;
    QTimer timer;
    timer.setTimerType(Qt::PreciseTimer);
    int n = 0;
    QObject::connect(&timer, &QTimer::timeout, &loop, [&] {
        const QByteArray text = protocol::timeMessage(1, model::clockText(n / 120, n / 2 % 60)).toLatin1();
        sent[n % 2].insert(text, clock.now().count());
        socket.writeDatagram(text, QHostAddress(QHostAddress::LocalHost), ports[n % 2]);
        if (++n == 2 * kCount) {
            timer.stop();
            QTimer::singleShot(1000, &loop, &QEventLoop::quit); // the last repaints are traced
        }
    });
    timer.start(25);
    loop.exec();

    std::vector<double> arrivalMs[2];
    std::vector<double> sendMs[2];
    const QString traces[2] = {option(QStringLiteral("--project-trace")), option(QStringLiteral("--baseline-trace"))};
    for (int i = 0; i < 2; ++i) {
        QFile file(traces[i]);
        QHash<QByteArray, std::int64_t> received;
        for (const QByteArray& line :
             file.open(QIODevice::ReadOnly) ? file.readAll().split('\n') : QList<QByteArray>()) {
            const QList<QByteArray> f = line.trimmed().split(' ');
            if (f.size() == 3 && f[0] == "received" && !received.contains(f[1]))
                received.insert(f[1], f[2].toLongLong());
            if (f.size() == 3 && f[0] == "shown" && sent[i].contains(f[1]) && received.contains(f[1])) {
                arrivalMs[i].push_back(static_cast<double>(f[2].toLongLong() - received.take(f[1])) / 1e6);
                sendMs[i].push_back(static_cast<double>(f[2].toLongLong() - sent[i].value(f[1])) / 1e6);
            }
        }
    }
    const auto at = [](const std::vector<double>& v, double q) { return percentile(v, q).value_or(-1); };
    QString note = QStringLiteral("%1 datagrams 50 ms apart on loopback under Xvfb; shown %2 vs %3; p50 %4 vs %5 ms; "
                                  "from the send instead of the arrival: p99 %6 vs %7 ms")
                       .arg(kCount)
                       .arg(arrivalMs[0].size())
                       .arg(arrivalMs[1].size())
                       .arg(at(arrivalMs[0], 0.5), 0, 'f', 2)
                       .arg(at(arrivalMs[1], 0.5), 0, 'f', 2)
                       .arg(at(sendMs[0], 0.99), 0, 'f', 2)
                       .arg(at(sendMs[1], 0.99), 0, 'f', 2);
    if (arrivalMs[0].size() < kCount * 9 / 10)
        note += QStringLiteral("; FEWER THAN 90% OF THE DATAGRAMS WERE SHOWN BY korvo-display");
    return figure(QStringLiteral("display_p99"), QStringLiteral("Display: arrival to repaint p99"),
                  QStringLiteral("ms"), percentile(arrivalMs[0], 0.99), percentile(arrivalMs[1], 0.99),
                  QStringLiteral("lt"), 16, note);
}

QString cellText(const QJsonValue& v)
{
    if (!v.isDouble())
        return QStringLiteral("n/a");
    const double x = v.toDouble();
    if (x == std::floor(x) && std::fabs(x) < 1e15)
        return QString::number(static_cast<qint64>(x));
    return QString::number(x, 'f', std::fabs(x) >= 100 ? 0 : std::fabs(x) >= 10 ? 1 : 2);
}

QString wholeFile(const QString& path)
{
    QFile file(path); // files under /proc say they are empty: read them whole, never by size
    return file.open(QIODevice::ReadOnly) ? QString::fromLocal8Bit(file.readAll()).trimmed() : QString();
}

/// Prints the table of all parts' figures and writes them, with the machine and the command, as JSON.
int report(const QStringList& parts)
{
    QJsonArray figures;
    for (const QString& part : parts)
        for (const QJsonValue f : readPart(part))
            figures.append(f);
    const QString cpu = wholeFile(QStringLiteral("/proc/cpuinfo"))
                            .section(QStringLiteral("model name"), 1, 1)
                            .section(QLatin1Char('\n'), 0, 0)
                            .section(QLatin1Char(':'), 1)
                            .trimmed();
    const QJsonObject machine{{"cores", static_cast<int>(std::thread::hardware_concurrency())},
                              {"cpu", cpu},
                              {"kernel", QSysInfo::kernelVersion()},
                              {"os", QSysInfo::prettyProductName()},
                              {"qt", QLatin1String(qVersion())},
                              {"loadavg", wholeFile(QStringLiteral("/proc/loadavg"))}};

    QList<QStringList> rows{{"Figure", "Unit", "Korvo Timer", "Baseline", "Goal", "Met"}, {}};
    QStringList notes;
    int missed = 0;
    for (const QJsonValue v : figures) {
        const QJsonObject f = v.toObject();
        const QString goal = f[QStringLiteral("goal")].toString();
        const QJsonValue met = f[QStringLiteral("met")];
        missed += met == QJsonValue(false) ? 1 : 0;
        rows.append(
            {f[QStringLiteral("label")].toString(), f[QStringLiteral("unit")].toString(),
             cellText(f[QStringLiteral("project")]), cellText(f[QStringLiteral("baseline")]),
             goal == QLatin1String("none")
                 ? QStringLiteral("-")
                 : (goal == QLatin1String("eq") ? "= " : "< ") + cellText(f[QStringLiteral("goal_value")]),
             met.isBool() ? (met.toBool() ? QStringLiteral("yes") : QStringLiteral("NO")) : QStringLiteral("-")});
        if (!f[QStringLiteral("note")].toString().isEmpty())
            notes.append(QStringLiteral("  %1: %2").arg(rows.last()[0], f[QStringLiteral("note")].toString()));
    }
    QList<qsizetype> widths(6, 0);
    for (const QStringList& r : rows)
        for (qsizetype i = 0; i < r.size(); ++i)
            widths[i] = std::max(widths[i], r[i].size());
    for (qsizetype i = 0; i < 6; ++i)
        rows[1].append(QString(widths[i], QLatin1Char('-')));
    std::printf(
        "Machine: %d cores, %s; Linux %s; Qt %s; load average at report: %s\n"
        "Baseline: a repeating QTimer of the same period (Qt's default coarse mode) adding one per timeout.\n\n",
        machine["cores"].toInt(), qPrintable(cpu), qPrintable(QSysInfo::kernelVersion()), qVersion(),
        qPrintable(machine["loadavg"].toString()));
    for (const QStringList& r : rows) {
        QString line;
        for (qsizetype i = 0; i < r.size(); ++i)
            line += (i == 2 || i == 3 ? r[i].rightJustified(widths[i]) : r[i].leftJustified(widths[i]))
                + QStringLiteral("  ");
        std::printf("%s\n", qPrintable(line.trimmed()));
    }
    if (!notes.isEmpty())
        std::printf("\nNotes:\n%s\n", qPrintable(notes.join(QLatin1Char('\n'))));
    const QString out = option(QStringLiteral("--out"));
    if (!write(out,
               QJsonDocument(QJsonObject{
                   {"machine", machine}, {"command", option(QStringLiteral("--command"))}, {"figures", figures}})))
        return 1;
    std::printf("\n%d goal(s) missed; results written to %s\n", missed, qPrintable(out));
    return 0;
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    const QString command = args.value(1);
    const QString out = option(QStringLiteral("--out"));
    if (out.isEmpty()
        || (command == QLatin1String("display") && option(QStringLiteral("--baseline-trace")).isEmpty())) {
        std::fprintf(stderr, "usage: see the top of bench/main.cpp\n");
        return 2;
    }
    try {
        if (command == QLatin1String("timing"))
            return write(out,
                         QJsonDocument(timingFigures(args.contains(QStringLiteral("--full")),
                                                     args.contains(QStringLiteral("--smoke")))))
                ? 0
                : 1;
        if (command == QLatin1String("display"))
            return write(out, QJsonDocument(QJsonArray{displayFigure()})) ? 0 : 1;
        if (command == QLatin1String("figure")) {
            const QString goal = option(QStringLiteral("--goal"));
            QJsonArray part = readPart(out);
            part.append(figure(option(QStringLiteral("--key")), option(QStringLiteral("--label")),
                               option(QStringLiteral("--unit")), number(option(QStringLiteral("--project"))),
                               number(option(QStringLiteral("--baseline"))),
                               goal.isEmpty() ? QStringLiteral("none") : goal.left(2), goal.mid(3).toDouble(),
                               option(QStringLiteral("--note"))));
            return write(out, QJsonDocument(part)) ? 0 : 1;
        }
        if (command == QLatin1String("report")) {
            QStringList parts;
            for (qsizetype i = 2; i < args.size(); ++i) {
                if (args[i].startsWith(QLatin1String("--")))
                    ++i; // an option's value
                else
                    parts.append(args[i]);
            }
            return report(parts);
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "korvo-bench: %s\n", e.what());
        return 1;
    }
    std::fprintf(stderr, "usage: see the top of bench/main.cpp\n");
    return 2;
}
