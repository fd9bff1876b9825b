#include "Figures.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonValue>
#include <QStringList>
#include <QSysInfo>
#include <QtGlobal>

#include <cmath>
#include <cstdio>
#include <thread>

namespace korvo::bench {

namespace {

QJsonValue optionalValue(const std::optional<double>& v)
{
    return v ? QJsonValue(*v) : QJsonValue(QJsonValue::Null);
}

std::optional<double> optionalFrom(const QJsonValue& v)
{
    if (v.isDouble())
        return v.toDouble();
    return std::nullopt;
}

QString number(const std::optional<double>& v)
{
    if (!v)
        return QStringLiteral("n/a");
    const double x = *v;
    if (x == std::floor(x) && std::fabs(x) < 1e15)
        return QString::number(static_cast<qint64>(x));
    if (std::fabs(x) >= 100)
        return QString::number(x, 'f', 0);
    if (std::fabs(x) >= 10)
        return QString::number(x, 'f', 1);
    return QString::number(x, 'f', 2);
}

QString firstLineStartingWith(const QString& path, const QString& prefix)
{
    // Files under /proc report a size of 0: read them whole, never by size.
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QStringList lines = QString::fromLocal8Bit(file.readAll()).split(QLatin1Char('\n'));
    for (const QString& line : lines) {
        if (line.startsWith(prefix))
            return line.mid(line.indexOf(QLatin1Char(':')) + 1).trimmed();
    }
    return {};
}

QString wholeFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return {};
    return QString::fromLocal8Bit(file.readAll()).trimmed();
}

} // namespace

std::optional<bool> Figure::met() const
{
    if (goal == Goal::None || !project)
        return std::nullopt;
    if (goal == Goal::Equal)
        return *project == goalValue;
    return *project < goalValue;
}

QString Figure::goalText() const
{
    switch (goal) {
    case Goal::Equal:
        return QStringLiteral("= ") + number(goalValue);
    case Goal::Below:
        return QStringLiteral("< ") + number(goalValue);
    case Goal::None:
        break;
    }
    return QStringLiteral("-");
}

QJsonObject Figure::toJson() const
{
    QJsonObject o;
    o.insert(QStringLiteral("key"), key);
    o.insert(QStringLiteral("label"), label);
    o.insert(QStringLiteral("unit"), unit);
    o.insert(QStringLiteral("project"), optionalValue(project));
    o.insert(QStringLiteral("baseline"), optionalValue(baseline));
    const char* goalName = goal == Goal::Equal ? "eq" : goal == Goal::Below ? "lt" : "none";
    o.insert(QStringLiteral("goal"), QLatin1String(goalName));
    o.insert(QStringLiteral("goal_value"), goal == Goal::None ? QJsonValue(QJsonValue::Null) : QJsonValue(goalValue));
    const std::optional<bool> m = met();
    o.insert(QStringLiteral("met"), m ? QJsonValue(*m) : QJsonValue(QJsonValue::Null));
    o.insert(QStringLiteral("note"), note);
    return o;
}

Figure Figure::fromJson(const QJsonObject& o)
{
    Figure f;
    f.key = o.value(QStringLiteral("key")).toString();
    f.label = o.value(QStringLiteral("label")).toString();
    f.unit = o.value(QStringLiteral("unit")).toString();
    f.project = optionalFrom(o.value(QStringLiteral("project")));
    f.baseline = optionalFrom(o.value(QStringLiteral("baseline")));
    const QString goal = o.value(QStringLiteral("goal")).toString();
    f.goal = goal == QLatin1String("eq") ? Goal::Equal : goal == QLatin1String("lt") ? Goal::Below : Goal::None;
    f.goalValue = o.value(QStringLiteral("goal_value")).toDouble();
    f.note = o.value(QStringLiteral("note")).toString();
    return f;
}

bool writeFigures(const QString& path, const Figures& figures, const QJsonObject& extra)
{
    QJsonArray array;
    for (const Figure& f : figures)
        array.append(f.toJson());
    QJsonObject root;
    root.insert(QStringLiteral("figures"), array);
    if (!extra.isEmpty())
        root.insert(QStringLiteral("extra"), extra);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        std::fprintf(stderr, "korvo-bench: cannot write %s\n", qPrintable(path));
        return false;
    }
    file.write(QJsonDocument(root).toJson(QJsonDocument::Indented));
    return true;
}

Figures readFigures(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "korvo-bench: cannot read %s\n", qPrintable(path));
        return {};
    }
    const QJsonDocument doc = QJsonDocument::fromJson(file.readAll());
    Figures out;
    for (const QJsonValue v : doc.object().value(QStringLiteral("figures")).toArray())
        out.append(Figure::fromJson(v.toObject()));
    return out;
}

QJsonObject machineInfo()
{
    QJsonObject m;
    m.insert(QStringLiteral("cores"), static_cast<int>(std::thread::hardware_concurrency()));
    m.insert(QStringLiteral("cpu"), firstLineStartingWith(QStringLiteral("/proc/cpuinfo"), QStringLiteral("model name")));
    m.insert(QStringLiteral("kernel"), QSysInfo::kernelVersion());
    m.insert(QStringLiteral("os"), QSysInfo::prettyProductName());
    m.insert(QStringLiteral("qt"), QLatin1String(qVersion()));
    m.insert(QStringLiteral("loadavg"), wholeFile(QStringLiteral("/proc/loadavg")));
    return m;
}

QString formatTable(const Figures& figures, const QJsonObject& machine)
{
    const QStringList header{QStringLiteral("Figure"), QStringLiteral("Unit"), QStringLiteral("Korvo Timer"),
                             QStringLiteral("Baseline"), QStringLiteral("Goal"), QStringLiteral("Met")};
    QList<QStringList> rows;
    for (const Figure& f : figures) {
        const std::optional<bool> m = f.met();
        rows.append({f.label, f.unit, number(f.project), number(f.baseline), f.goalText(),
                     m ? (*m ? QStringLiteral("yes") : QStringLiteral("NO")) : QStringLiteral("-")});
    }
    QList<qsizetype> widths;
    for (const QString& h : header)
        widths.append(h.size());
    for (const QStringList& r : rows) {
        for (qsizetype i = 0; i < r.size(); ++i)
            widths[i] = std::max(widths[i], r[i].size());
    }
    const auto line = [&](const QStringList& cells) {
        QString s;
        for (qsizetype i = 0; i < cells.size(); ++i) {
            const bool numeric = i >= 2 && i <= 3;
            s += numeric ? cells[i].rightJustified(widths[i]) : cells[i].leftJustified(widths[i]);
            if (i + 1 < cells.size())
                s += QStringLiteral("  ");
        }
        return s.trimmed() + QLatin1Char('\n');
    };
    QString out;
    out += QStringLiteral("Machine: %1 cores, %2; Linux %3; Qt %4; load average at report: %5\n")
               .arg(machine.value(QStringLiteral("cores")).toInt())
               .arg(machine.value(QStringLiteral("cpu")).toString(), machine.value(QStringLiteral("kernel")).toString(),
                    machine.value(QStringLiteral("qt")).toString(), machine.value(QStringLiteral("loadavg")).toString());
    out += QStringLiteral("Baseline: a repeating QTimer of the same period (Qt's default coarse mode) adding one per timeout.\n\n");
    out += line(header);
    QStringList rule;
    for (const qsizetype w : widths)
        rule.append(QString(w, QLatin1Char('-')));
    out += line(rule);
    for (const QStringList& r : rows)
        out += line(r);
    QStringList notes;
    for (const Figure& f : figures) {
        if (!f.note.isEmpty())
            notes.append(QStringLiteral("  %1: %2").arg(f.label, f.note));
    }
    if (!notes.isEmpty())
        out += QStringLiteral("\nNotes:\n") + notes.join(QLatin1Char('\n')) + QLatin1Char('\n');
    return out;
}

} // namespace korvo::bench
