#include "platform/HiTimer.h"
#include "support/FakeClock.h"

#include <QSignalSpy>
#include <QTest>

#include <chrono>

using namespace std::chrono_literals;
using korvo::fakes::FakeClock;
using korvo::platform::HiTimer;
using std::chrono::milliseconds;
using std::chrono::nanoseconds;

// On a fake clock. The real timer, a clock on it and a stalled event loop: tests/faults; how late its ticks
// come on a real machine: the timing benchmark in bench/.
class TestHiTimer : public QObject
{
    Q_OBJECT

private slots:
    // Polled at these milliseconds after switching on, period 1000 ms: the missed count of each tick
    // delivered, -1 where none is. A tick stands for the latest deadline passed on the grid of the switch-on.
    void grid_data()
    {
        QTest::addColumn<QList<int>>("polls");
        QTest::addColumn<QList<int>>("missed");
        QTest::newRow("deadline edges") << QList{0, 999, 1000, 1000, 1999, 2000} << QList{-1, -1, 0, -1, -1, 0};
        QTest::newRow("stall, then a skipped deadline") << QList{3400, 5000, 6000} << QList{2, 1, 0};
    }
    void grid()
    {
        QFETCH(QList<int>, polls);
        QFETCH(QList<int>, missed);
        FakeClock clock;
        HiTimer timer(clock, 1000ms, HiTimer::WakeUp::Manual);
        QSignalSpy ticks(&timer, &HiTimer::tick);
        const nanoseconds start = clock.now();
        timer.setEnabled(true);
        for (qsizetype i = 0; i < polls.size(); ++i) {
            clock.advance(start + milliseconds(polls[i]) - clock.now());
            const qsizetype before = ticks.count();
            QCOMPARE(timer.poll() ? timer.missedTicks() : -1, missed[i]);
            QCOMPARE(ticks.count() - before, missed[i] < 0 ? 0 : 1);
            if (missed[i] >= 0)
                QCOMPARE(timer.lastDeadline() - start, nanoseconds(milliseconds(polls[i] / 1000 * 1000)));
        }
    }

    void switching()
    {
        FakeClock clock;
        HiTimer timer(clock, 1000ms, HiTimer::WakeUp::Manual);
        timer.setEnabled(true);
        clock.advance(1500ms);
        timer.setEnabled(false); // drops the tick that is due
        QVERIFY(!timer.poll());
        clock.advance(5000ms);
        QVERIFY(!timer.poll());
        timer.setEnabled(true); // a new grid from here
        clock.advance(999ms);
        QVERIFY(!timer.poll());
        clock.advance(600ms);
        timer.setEnabled(true); // on while on keeps the grid
        QVERIFY(timer.poll());
        QCOMPARE(timer.missedTicks(), 0);

        // A handler running a nested event loop (an error report) gets no tick inside itself; the deadlines
        // that passed meanwhile are caught up afterwards.
        bool nestedPoll = true;
        connect(&timer, &HiTimer::tick, this, [&] {
            clock.advance(2000ms);
            nestedPoll = timer.poll();
        });
        clock.advance(1000ms);
        QVERIFY(timer.poll());
        QVERIFY(!nestedPoll);
        timer.disconnect(this);
        QVERIFY(timer.poll());
        QCOMPARE(timer.missedTicks(), 1);
    }
};

QTEST_GUILESS_MAIN(TestHiTimer)
#include "tst_hitimer.moc"
