// korvo-bench-journal [--smoke]: what keeping the game in its journal costs the clock. Prints a JSON array of
// figures on standard output, the part format that `korvo-bench report` reads.
//
//   Tick handler: the real main window's Timer1_Timer, from the tick event to the journal handed over, ticked
//   by the real HiTimer at 20 ms, with the journal (project) and without (baseline); the lateness of each tick
//   (jitter) in the same two runs.
//   Hand-over: serialising the game and handing it to the writer thread, alone, 10 ms apart.
//   Write: what the writer thread does per save (QSaveFile: temporary file, fdatasync, rename; the folder
//   synced), waited for, and a plain write and rename without any sync; what the clock's own thread would pay
//   each tick without a writer of its own.
#include "Bench.h"

#include "clock/FrmMain.h"
#include "errors/ErrorReporter.h"
#include "errors/Trap.h"
#include "model/ClockModel.h"
#include "model/Journal.h"
#include "platform/HiTimer.h"
#include "platform/JournalFile.h"
#include "platform/MonotonicClock.h"
#include "platform/QtDialogs.h"
#include "platform/UdpSocket.h"

#include <QApplication>
#include <QFile>
#include <QJsonDocument>
#include <QTemporaryDir>
#include <QUdpSocket>

#include <cstdio>
#include <cstdlib>
#include <thread>

using namespace korvo;
using std::chrono::nanoseconds;

namespace {

constexpr std::chrono::milliseconds kPeriod{20};

double us(nanoseconds d)
{
    return static_cast<double>(d.count()) / 1000.0;
}

/// Nobody answers a benchmark's reports: each is printed and ignored, and any ending ends it with status 3.
class PrintingTrap final : public errors::ErrorReporter, public errors::ProcessEnd
{
public:
    errors::Answer report(const QString& text) override
    {
        std::fprintf(stderr, "korvo-bench-journal: unexpected report:\n%s\n", qPrintable(text));
        return errors::Answer::Ignore;
    }
    void endProgram() override { std::exit(3); }
};

/// The program's UdpSocket, always aimed at a loopback port nobody reads, whatever host the clock asks for.
class SinkSocket final : public platform::DatagramSocket
{
public:
    explicit SinkSocket(quint16 port)
    {
        m_real.setRemoteHost(QStringLiteral("127.0.0.1"));
        m_real.setRemotePort(port);
    }
    void setProtocol(std::int32_t protocol) override { m_real.setProtocol(protocol); }
    void setRemoteHost(const QString&) override {}
    void setRemotePort(std::int32_t) override {}
    void sendData(const QString& text) override { m_real.sendData(text); }
    [[nodiscard]] QString localIp() const override { return QStringLiteral("127.0.0.1"); }

private:
    platform::UdpSocket m_real;
};

struct TickRun
{
    std::vector<double> handlerUs;
    std::vector<double> lateUs;
};

/// The main window started as the program starts it (a set of two halves applied in place of the settings
/// window), then Start and `ticks` ticks.
TickRun tickRun(platform::JournalStore* journal, int ticks, quint16 sink)
{
    model::ClockModel model;
    PrintingTrap printing;
    errors::Trap trap(printing, printing);
    const platform::SteadyClock steady;
    platform::HiTimer timer(steady, kPeriod);
    SinkSocket socket(sink);
    platform::QtDialogs dialogs;
    TickRun run;
    nanoseconds began{};
    // Connected before the window's own handler and after it, so that the time between is the handler's.
    QObject::connect(&timer, &platform::TickTimer::tick, [&] {
        began = steady.now();
        run.lateUs.push_back(us(began - timer.lastDeadline()));
    });
    const auto applySet = [&] {
        model.applySet({{QStringLiteral("1st Half"), model::kFalse, 99, 59},
                        {QStringLiteral("2nd Half"), model::kFalse, 99, 59}},
                       model::COUNT_UP, QStringLiteral("127.0.0.255"));
    };
    clock::FrmMain frm({model, trap, timer, socket, dialogs, applySet, journal});
    QObject::connect(&timer, &platform::TickTimer::tick, &frm, [&] {
        run.handlerUs.push_back(us(steady.now() - began));
        if (static_cast<int>(run.handlerUs.size()) >= ticks)
            QCoreApplication::quit();
    });
    frm.Form_Initialize();
    frm.Form_Load();
    frm.show();
    frm.cmdSTART_Click();
    QApplication::exec();
    return run;
}

/// `count` calls of `step`, `gap` apart; the time of each.
template <class Step>
std::vector<double> timed(int count, std::chrono::milliseconds gap, Step step)
{
    const platform::SteadyClock steady;
    std::vector<double> out;
    for (int i = 0; i < count; ++i) {
        const nanoseconds t0 = steady.now();
        step(i);
        out.push_back(us(steady.now() - t0));
        std::this_thread::sleep_for(gap);
    }
    return out;
}

QJsonObject figure(const QString& key, const QString& label, std::optional<double> project,
                   std::optional<double> baseline, double goal, const QString& note)
{
    const auto value = [](std::optional<double> v) { return v ? QJsonValue(*v) : QJsonValue(); };
    return {{"key", key},
            {"label", label},
            {"unit", "µs"},
            {"korvo", value(project)},
            {"baseline", value(baseline)},
            {"goal", goal > 0 ? QJsonValue(QJsonObject{{"op", "lt"}, {"value", goal}}) : QJsonValue()},
            {"note", note}};
}

/// p50, p99 and max of a project's values beside a baseline's; the goal applies to p99.
void spread(QJsonArray& out, const QString& key, const QString& label, const std::vector<double>& project,
            const std::vector<double>& baseline, double goalP99, const QString& note)
{
    const std::pair<const char*, double> at[] = {{"p50", 0.5}, {"p99", 0.99}, {"max", 1.0}};
    for (const auto& [name, q] : at)
        out.append(figure(key + QLatin1Char('_') + QLatin1String(name), label + QLatin1Char(' ') + QLatin1String(name),
                          bench::percentile(project, q), bench::percentile(baseline, q), q == 0.99 ? goalP99 : 0,
                          note));
}

} // namespace

int main(int argc, char* argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const bool smoke = QCoreApplication::arguments().contains(QStringLiteral("--smoke"));
    const int ticks = smoke ? 50 : 500;
    const int calls = smoke ? 100 : 1000;
    const int writes = smoke ? 20 : 200;
    QTemporaryDir folder;
    QUdpSocket sink; // bound and never read: the kernel drops what does not fit, the sender never waits
    if (!folder.isValid() || !sink.bind(QHostAddress(QHostAddress::LocalHost), 0)) {
        std::fprintf(stderr, "korvo-bench-journal: no temporary folder or loopback socket\n");
        return 2;
    }
    QJsonArray out;

    std::fprintf(stderr, "korvo-bench-journal: %d ticks of 20 ms without the journal and with it, in turns\n", ticks);
    // In turns, so that a change in the machine's load falls on both alike.
    TickRun without;
    TickRun with;
    platform::JournalFile journal(folder.filePath(QStringLiteral("ticks")));
    for (int turn = 0; turn < 5; ++turn) {
        for (auto [run, store] : {std::pair{&without, static_cast<platform::JournalStore*>(nullptr)},
                                  std::pair{&with, static_cast<platform::JournalStore*>(&journal)}}) {
            const TickRun part = tickRun(store, ticks / 5, sink.localPort());
            run->handlerUs.insert(run->handlerUs.end(), part.handlerUs.begin(), part.handlerUs.end());
            run->lateUs.insert(run->lateUs.end(), part.lateUs.begin(), part.lateUs.end());
        }
    }
    const QString tickNote = QStringLiteral("%1 ticks of the real main window at 20 ms each; project with the journal, "
                                            "baseline without")
                                 .arg(ticks);
    spread(out, QStringLiteral("journal_tick_handler"), QStringLiteral("Tick handler with the journal"), with.handlerUs,
           without.handlerUs, 0, tickNote + QStringLiteral("; Timer1_Timer from the tick event to its return"));
    spread(out, QStringLiteral("journal_tick_late"), QStringLiteral("Tick lateness with the journal"), with.lateUs,
           without.lateUs, 0, tickNote + QStringLiteral("; tick handler start - its deadline"));

    model::ClockModel game;
    game.applySet({{QStringLiteral("1st Half"), model::kFalse, 45, 0},
                   {QStringLiteral("2nd Half"), model::kFalse, 45, 0}},
                  model::COUNT_DOWN, QStringLiteral("192.168.0.255"));
    game.PERIOD_SECONDS = game.CUR_SECONDS = 2700;
    const auto handOver = timed(calls, std::chrono::milliseconds(10), [&](int i) {
        game.CUR_SECONDS = 2700 - i;
        journal.save(model::journalBytes(game, false));
    });
    journal.flush();
    const QByteArray bytes = model::journalBytes(game, false);
    const QString path = folder.filePath(QStringLiteral("unsynced.json"));
    // The writer thread's whole work for one save, waited for: what the clock's thread would pay without it.
    const auto synced = timed(writes, std::chrono::milliseconds(5), [&](int) {
        journal.save(bytes);
        journal.flush();
    });
    const auto unsynced = timed(writes, std::chrono::milliseconds(5), [&](int) {
        QFile file(path + QStringLiteral(".new"));
        if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.flush())
            std::fprintf(stderr, "korvo-bench-journal: a write failed\n");
        file.close();
        QFile::remove(path);
        if (!QFile::rename(file.fileName(), path))
            std::fprintf(stderr, "korvo-bench-journal: a rename failed\n");
    });
    spread(out, QStringLiteral("journal_gui"), QStringLiteral("Journal on the clock's thread per tick"), handOver,
           synced, 1000,
           QStringLiteral("project: serialise the game (%1 bytes) and hand it to the writer thread, %2 times 10 ms "
                          "apart; baseline: the save waited for on the clock's thread instead, %3 times")
               .arg(bytes.size())
               .arg(calls)
               .arg(writes));
    spread(out, QStringLiteral("journal_write"), QStringLiteral("Journal write with fdatasync"), synced, unsynced, 0,
           QStringLiteral("project: one save as the writer thread does it (QSaveFile: temporary file, fdatasync, "
                          "rename; fsync of the folder); baseline: write and rename without any sync (survives a kill, "
                          "not a power cut); %1 each")
               .arg(writes));
    const QJsonObject part{
        {"section", "Game journal"},
        {"order", 50},
        {"about", "What keeping the game in its journal costs the clock: the real main window with the real "
                  "HiTimer, offscreen; the journal in a temporary folder."},
        {"columns", QJsonObject{{"baseline", "Compared with (see notes)"}, {"floor", ""}}},
        {"figures", out}};
    std::printf("%s", QJsonDocument(part).toJson().constData());
    return 0;
}
