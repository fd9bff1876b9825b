#include "platform/HiTimer.h"
#include "platform/MonotonicClock.h"
#include "support/FakeClock.h"

#include <QEventLoop>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <chrono>
#include <vector>

using namespace std::chrono_literals;
using korvo::fakes::FakeClock;
using korvo::platform::HiTimer;
using std::chrono::nanoseconds;

Q_DECLARE_METATYPE(HiTimer::WakeUp)

class TestHiTimer : public QObject
{
    Q_OBJECT

private slots:
    void grid_data()
    {
        // Steps at milliseconds after switching on (period 1000 ms): "=N" polls and expects a tick with N
        // missed, "=-" polls and expects none, "on"/"off" work the switch.
        QTest::addColumn<QString>("script");
        QTest::newRow("on time") << "1000=0 2000=0 3000=0";
        QTest::newRow("deadline edges, one tick per deadline") << "0=- 999=- 1000=0 1000=- 1999=- 2000=0";
        QTest::newRow("a late tick does not move the grid") << "1999=0 2000=0";
        QTest::newRow("stall of 3.4 periods") << "3400=2 4000=0 5000=0";
        QTest::newRow("stall then a skipped deadline") << "3400=2 5000=1 6000=0";
        QTest::newRow("off drops a due tick") << "1500off 1500=- 6500=-";
        QTest::newRow("on again restarts the grid") << "3400=2 3400off 4650on 5649=- 5650=0 6650=0";
        QTest::newRow("on while on keeps the grid") << "600on 1000=0";
    }

    void grid()
    {
        QFETCH(QString, script);
        FakeClock clock;
        HiTimer timer(clock, 1000ms, HiTimer::WakeUp::Manual);
        QSignalSpy ticks(&timer, &HiTimer::tick);
        const nanoseconds start = clock.now();
        nanoseconds origin = start;
        timer.setEnabled(true);

        for (const QString& step : script.split(QLatin1Char(' '))) {
            const qsizetype op = std::max(step.indexOf(QLatin1Char('=')), step.indexOf(QLatin1Char('o')));
            clock.advance(start + std::chrono::milliseconds(step.left(op).toInt()) - clock.now());
            const QString action = step.mid(op);
            if (action.startsWith(QLatin1Char('o'))) {
                const bool on = action == QLatin1String("on");
                origin = on && !timer.isEnabled() ? clock.now() : origin;
                timer.setEnabled(on);
                continue;
            }
            const qsizetype before = ticks.count();
            const bool delivered = timer.poll();
            QCOMPARE(delivered, ticks.count() == before + 1);
            QCOMPARE(delivered ? QString::number(timer.missedTicks()) : QStringLiteral("-"), action.mid(1));
            if (delivered) {
                // The tick stands for the latest passed deadline on the grid of the switch-on moment.
                QCOMPARE((timer.lastDeadline() - origin) % 1000ms, nanoseconds(0));
                QVERIFY(timer.lastDeadline() <= clock.now() && clock.now() < timer.lastDeadline() + 1000ms);
            }
        }
    }

    void noNestedTickInsideHandler()
    {
        // A handler running a nested event loop (an error report) gets no tick inside itself; the deadlines
        // that passed meanwhile are caught up afterwards.
        FakeClock clock;
        HiTimer timer(clock, 1000ms, HiTimer::WakeUp::Manual);
        bool nestedPoll = true;
        int count = 0;
        connect(&timer, &HiTimer::tick, this, [&] {
            if (++count == 1) {
                clock.advance(2000ms);
                nestedPoll = timer.poll();
            }
        });
        timer.setEnabled(true);
        clock.advance(1000ms);
        QVERIFY(timer.poll());
        QVERIFY(!nestedPoll);
        QCOMPARE(count, 1);
        QVERIFY(timer.poll());
        QCOMPARE(timer.missedTicks(), 1);
    }

    void realTicksLandOnGrid_data()
    {
        QTest::addColumn<HiTimer::WakeUp>("wakeUp");
        QTest::newRow("default") << HiTimer::WakeUp::Auto;
        QTest::newRow("qt timer") << HiTimer::WakeUp::QtTimer;
    }

    void realTicksLandOnGrid()
    {
        QFETCH(HiTimer::WakeUp, wakeUp);
        const korvo::platform::SteadyClock clock;
        HiTimer timer(clock, 100ms, wakeUp);
        if (wakeUp == HiTimer::WakeUp::Auto)
            QCOMPARE(timer.wakeUp(), HiTimer::WakeUp::TimerFd);
        std::vector<nanoseconds> late;
        std::vector<nanoseconds> deadlines;
        connect(&timer, &HiTimer::tick, this, [&] {
            late.push_back(clock.now() - timer.lastDeadline());
            deadlines.push_back(timer.lastDeadline());
            QCOMPARE(timer.missedTicks(), 0);
            if (late.size() == 5)
                timer.setEnabled(false);
        });
        const nanoseconds before = clock.now();
        timer.setEnabled(true);
        const nanoseconds after = clock.now();

        // A real event loop: QTRY_* would sleep between polls and so delay every wake-up.
        QEventLoop loop;
        QTimer::singleShot(800ms, &loop, &QEventLoop::quit);
        loop.exec();

        // Switched off after the fifth tick: no sixth comes.
        QCOMPARE(late.size(), std::size_t{5});
        for (std::size_t i = 0; i < late.size(); ++i) {
            const nanoseconds k = 100ms * static_cast<int>(i + 1);
            QVERIFY(deadlines[i] >= before + k && deadlines[i] <= after + k);
            QVERIFY2(late[i] >= 0ns && late[i] < std::chrono::milliseconds(KORVO_TICK_TOLERANCE_MS),
                     qPrintable(QStringLiteral("tick %1 late by %2 ns").arg(i + 1).arg(late[i].count())));
        }
    }
};

QTEST_GUILESS_MAIN(TestHiTimer)
#include "tst_hitimer.moc"
