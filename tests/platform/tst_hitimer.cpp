#include "fakes/FakeClock.h"
#include "platform/HiTimer.h"
#include "platform/MonotonicClock.h"

#include <QEventLoop>
#include <QList>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <chrono>
#include <thread>
#include <vector>

using namespace std::chrono_literals;
using korvo::fakes::FakeClock;
using korvo::platform::HiTimer;
using korvo::platform::SteadyClock;
using std::chrono::nanoseconds;

Q_DECLARE_METATYPE(HiTimer::WakeUp)

namespace {

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kSanitized = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif
#else
constexpr bool kSanitized = false;
#endif

// Ticks must come within this of their deadline; the sanitizers slow every event-loop pass down.
constexpr nanoseconds kTolerance = kSanitized ? nanoseconds(20ms) : nanoseconds(5ms);

double toMs(nanoseconds d)
{
    return static_cast<double>(d.count()) / 1e6;
}

/// Moves a fake clock to `offset` after `origin`.
void moveTo(FakeClock& clock, nanoseconds origin, nanoseconds offset)
{
    clock.advance(origin + offset - clock.now());
}

/// Runs a real event loop (QTRY_* would sleep between polls and so delay every wake-up) until `done`.
template <class Done>
bool runUntil(Done done, std::chrono::milliseconds timeout)
{
    QEventLoop loop;
    QTimer poller;
    QObject::connect(&poller, &QTimer::timeout, &loop, [&] {
        if (done())
            loop.quit();
    });
    poller.start(50);
    QTimer::singleShot(timeout, &loop, &QEventLoop::quit);
    loop.exec();
    return done();
}

/// Busy-waits on the steady clock without handing control to the event loop.
void stall(nanoseconds d)
{
    const auto until = std::chrono::steady_clock::now() + d;
    while (std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(1ms);
}

} // namespace

class TestHiTimer : public QObject
{
    Q_OBJECT

private slots:
    // Grid arithmetic on a fake clock, ticks delivered by explicit polls only.
    void grid_data();
    void grid();
    void switchingOffDropsDueTick();
    void switchingOnAgainRestartsGrid();
    void switchingOnWhileOnKeepsGrid();
    void noNestedTickInsideHandler();
    void handlerMaySwitchOffAndOn();
    void hugeStallSaturatesMissedCount();
    void fakeClockDrivesRealWakeUp();

    // The real wake-up sources against the steady clock.
    void realTicksLandOnGrid_data();
    void realTicksLandOnGrid();
    void realStallKeepsGrid_data();
    void realStallKeepsGrid();
    void realOffDropsQueuedTick_data();
    void realOffDropsQueuedTick();
};

void TestHiTimer::grid_data()
{
    // Poll moments after switching on (period 1000 ms) and what each poll delivers: the missed count of
    // the tick, or -1 for no tick.
    QTest::addColumn<QList<qint64>>("pollsUs");
    QTest::addColumn<QList<int>>("expected");

    QTest::newRow("on time") << QList<qint64>{1'000'000, 2'000'000, 3'000'000} << QList<int>{0, 0, 0};
    QTest::newRow("exactly on and just before the deadline")
        << QList<qint64>{999'999, 1'000'000, 1'999'999, 2'000'000} << QList<int>{-1, 0, -1, 0};
    QTest::newRow("before the first deadline") << QList<qint64>{0, 500'000} << QList<int>{-1, -1};
    QTest::newRow("a late tick does not move the grid")
        << QList<qint64>{1'999'000, 2'000'000, 3'000'000} << QList<int>{0, 0, 0};
    QTest::newRow("one poll, one tick") << QList<qint64>{1'000'000, 1'000'000, 1'500'000} << QList<int>{0, -1, -1};
    QTest::newRow("stall of 3.4 periods")
        << QList<qint64>{3'400'000, 4'000'000, 5'000'000} << QList<int>{2, 0, 0};
    QTest::newRow("stall then a skipped deadline")
        << QList<qint64>{3'400'000, 5'000'000, 6'000'000} << QList<int>{2, 1, 0};
    QTest::newRow("stall ending exactly on a deadline") << QList<qint64>{4'000'000, 5'000'000} << QList<int>{3, 0};
}

void TestHiTimer::grid()
{
    QFETCH(QList<qint64>, pollsUs);
    QFETCH(QList<int>, expected);

    FakeClock clock;
    HiTimer timer(clock, 1000ms, HiTimer::WakeUp::Manual);
    QSignalSpy ticks(&timer, &HiTimer::tick);
    const nanoseconds origin = clock.now();
    timer.setEnabled(true);

    QList<int> got;
    for (const qint64 us : pollsUs) {
        moveTo(clock, origin, std::chrono::microseconds(us));
        const qsizetype before = ticks.count();
        const bool delivered = timer.poll();
        QCOMPARE(delivered, ticks.count() == before + 1);
        got.append(delivered ? timer.missedTicks() : -1);
        if (delivered) {
            // The tick stands for the latest deadline that has passed, on the grid of the switch-on moment.
            QCOMPARE((timer.lastDeadline() - origin) % 1000ms, nanoseconds(0));
            QVERIFY(timer.lastDeadline() <= clock.now());
            QVERIFY(clock.now() < timer.lastDeadline() + 1000ms);
        }
    }
    QCOMPARE(got, expected);
}

void TestHiTimer::switchingOffDropsDueTick()
{
    FakeClock clock;
    HiTimer timer(clock, 1000ms, HiTimer::WakeUp::Manual);
    QSignalSpy ticks(&timer, &HiTimer::tick);
    timer.setEnabled(true);
    clock.advance(1500ms);
    timer.setEnabled(false);
    QVERIFY(!timer.poll());
    clock.advance(5000ms);
    QVERIFY(!timer.poll());
    timer.setEnabled(false);
    QVERIFY(!timer.poll());
    QCOMPARE(ticks.count(), 0);
}

void TestHiTimer::switchingOnAgainRestartsGrid()
{
    FakeClock clock;
    HiTimer timer(clock, 1000ms, HiTimer::WakeUp::Manual);
    timer.setEnabled(true);
    clock.advance(3400ms);
    QVERIFY(timer.poll());
    QCOMPARE(timer.missedTicks(), 2);
    timer.setEnabled(false);

    clock.advance(1250ms);
    const nanoseconds restart = clock.now();
    timer.setEnabled(true);
    QCOMPARE(timer.missedTicks(), 0);
    clock.advance(999ms);
    QVERIFY(!timer.poll());
    clock.advance(1ms);
    QVERIFY(timer.poll());
    QCOMPARE(timer.missedTicks(), 0);
    QCOMPARE(timer.lastDeadline(), restart + 1000ms);
}

void TestHiTimer::switchingOnWhileOnKeepsGrid()
{
    FakeClock clock;
    HiTimer timer(clock, 1000ms, HiTimer::WakeUp::Manual);
    const nanoseconds origin = clock.now();
    timer.setEnabled(true);
    clock.advance(600ms);
    timer.setEnabled(true);
    clock.advance(400ms);
    QVERIFY(timer.poll());
    QCOMPARE(timer.lastDeadline(), origin + 1000ms);
}

void TestHiTimer::noNestedTickInsideHandler()
{
    // A handler that runs a nested event loop (an error report) must not receive a tick inside itself.
    FakeClock clock;
    HiTimer timer(clock, 1000ms, HiTimer::WakeUp::Manual);
    int depth = 0;
    int maxDepth = 0;
    int count = 0;
    bool nestedPoll = true;
    connect(&timer, &HiTimer::tick, this, [&] {
        ++depth;
        maxDepth = std::max(maxDepth, depth);
        if (++count == 1) {
            clock.advance(2000ms);
            nestedPoll = timer.poll();
        }
        --depth;
    });
    timer.setEnabled(true);
    clock.advance(1000ms);
    QVERIFY(timer.poll());
    QVERIFY(!nestedPoll);
    QCOMPARE(maxDepth, 1);
    // The deadlines that passed inside the handler are caught up afterwards: 3 s is reached, 2 s was missed.
    QVERIFY(timer.poll());
    QCOMPARE(timer.missedTicks(), 1);
}

void TestHiTimer::handlerMaySwitchOffAndOn()
{
    FakeClock clock;
    HiTimer timer(clock, 1000ms, HiTimer::WakeUp::Manual);
    nanoseconds restart{};
    int count = 0;
    connect(&timer, &HiTimer::tick, this, [&] {
        if (++count == 1) {
            clock.advance(300ms);
            timer.setEnabled(false);
            restart = clock.now();
            timer.setEnabled(true);
        }
    });
    timer.setEnabled(true);
    clock.advance(1000ms);
    QVERIFY(timer.poll());
    clock.advance(900ms); // 1.9 s after the first start: a deadline of the old grid, not of the new one
    QVERIFY(!timer.poll());
    clock.advance(100ms);
    QVERIFY(timer.poll());
    QCOMPARE(timer.lastDeadline(), restart + 1000ms);
    QCOMPARE(timer.missedTicks(), 0);
}

void TestHiTimer::hugeStallSaturatesMissedCount()
{
    FakeClock clock;
    HiTimer timer(clock, 1ms, HiTimer::WakeUp::Manual);
    timer.setEnabled(true);
    clock.advance(std::chrono::hours(24 * 365 * 10));
    QVERIFY(timer.poll());
    QCOMPARE(timer.missedTicks(), std::numeric_limits<int>::max());
}

void TestHiTimer::fakeClockDrivesRealWakeUp()
{
    // With a clock other than the steady one, the real wake-up still follows the injected clock's deadlines.
    FakeClock clock;
    HiTimer timer(clock, 100ms);
    QSignalSpy ticks(&timer, &HiTimer::tick);
    timer.setEnabled(true);
    clock.advance(340ms);
    QVERIFY(ticks.wait(2000));
    QCOMPARE(ticks.count(), 1);
    QCOMPARE(timer.missedTicks(), 2);
    // The fake clock stands still now, so the real source must not produce a second tick.
    QTest::qWait(300);
    QCOMPARE(ticks.count(), 1);
}

void TestHiTimer::realTicksLandOnGrid_data()
{
    QTest::addColumn<HiTimer::WakeUp>("wakeUp");
    QTest::newRow("default") << HiTimer::WakeUp::Auto;
    QTest::newRow("qt timer") << HiTimer::WakeUp::QtTimer;
}

void TestHiTimer::realTicksLandOnGrid()
{
    QFETCH(HiTimer::WakeUp, wakeUp);
    const SteadyClock clock;
    HiTimer timer(clock, 100ms, wakeUp);
#if defined(Q_OS_LINUX)
    if (wakeUp == HiTimer::WakeUp::Auto)
        QCOMPARE(timer.wakeUp(), HiTimer::WakeUp::TimerFd);
#endif

    std::vector<nanoseconds> arrivals;
    std::vector<nanoseconds> deadlines;
    std::vector<int> missed;
    connect(&timer, &HiTimer::tick, this, [&] {
        arrivals.push_back(clock.now());
        deadlines.push_back(timer.lastDeadline());
        missed.push_back(timer.missedTicks());
        if (arrivals.size() == 5)
            timer.setEnabled(false);
    });

    const nanoseconds before = clock.now();
    timer.setEnabled(true);
    const nanoseconds after = clock.now();
    QVERIFY(runUntil([&] { return arrivals.size() == 5; }, 3000ms));

    QStringList lateness;
    for (std::size_t i = 0; i < arrivals.size(); ++i) {
        const nanoseconds k = 100ms * static_cast<int>(i + 1);
        QVERIFY(deadlines[i] >= before + k && deadlines[i] <= after + k);
        QCOMPARE(missed[i], 0);
        const nanoseconds late = arrivals[i] - deadlines[i];
        lateness.append(QString::number(toMs(late), 'f', 3));
    }
    qInfo("lateness (ms): %s", qPrintable(lateness.join(QStringLiteral(", "))));
    for (std::size_t i = 0; i < arrivals.size(); ++i) {
        const nanoseconds late = arrivals[i] - deadlines[i];
        QVERIFY2(late >= 0ns && late < kTolerance, qPrintable(QStringLiteral("tick %1 late by %2 ms")
                                                                  .arg(i + 1)
                                                                  .arg(toMs(late))));
    }
}

void TestHiTimer::realStallKeepsGrid_data()
{
    realTicksLandOnGrid_data();
}

void TestHiTimer::realStallKeepsGrid()
{
    QFETCH(HiTimer::WakeUp, wakeUp);
    const SteadyClock clock;
    HiTimer timer(clock, 100ms, wakeUp);
    std::vector<nanoseconds> deadlines;
    std::vector<int> missed;
    std::vector<nanoseconds> arrivals;
    connect(&timer, &HiTimer::tick, this, [&] {
        arrivals.push_back(clock.now());
        deadlines.push_back(timer.lastDeadline());
        missed.push_back(timer.missedTicks());
        if (deadlines.size() == 1)
            stall(350ms); // the handler of the 100 ms tick runs until about 450 ms
        if (deadlines.size() == 3)
            timer.setEnabled(false);
    });
    timer.setEnabled(true);
    const nanoseconds origin = timer.nextDeadline() - 100ms;
    QVERIFY(runUntil([&] { return deadlines.size() == 3; }, 3000ms));

    QCOMPARE(missed, (std::vector<int>{0, 2, 0}));
    QCOMPARE(deadlines[0], origin + 100ms);
    QCOMPARE(deadlines[1], origin + 400ms);
    QCOMPARE(deadlines[2], origin + 500ms);
    const nanoseconds late = arrivals[2] - deadlines[2];
    qInfo("tick after the stall late by %.3f ms", toMs(late));
    QVERIFY(late >= 0ns && late < kTolerance);
}

void TestHiTimer::realOffDropsQueuedTick_data()
{
    realTicksLandOnGrid_data();
}

void TestHiTimer::realOffDropsQueuedTick()
{
    QFETCH(HiTimer::WakeUp, wakeUp);
    const SteadyClock clock;
    HiTimer timer(clock, 50ms, wakeUp);
    QSignalSpy ticks(&timer, &HiTimer::tick);
    timer.setEnabled(true);
    // The deadline passes while the event loop is blocked, so its wake-up is already pending when the
    // timer is switched off.
    stall(120ms);
    timer.setEnabled(false);
    QTest::qWait(200);
    QCOMPARE(ticks.count(), 0);

    // And it runs again afterwards, from the new moment.
    timer.setEnabled(true);
    QVERIFY(ticks.wait(1000));
    QCOMPARE(timer.missedTicks(), 0);
    timer.setEnabled(false);
}

QTEST_GUILESS_MAIN(TestHiTimer)
#include "tst_hitimer.moc"
