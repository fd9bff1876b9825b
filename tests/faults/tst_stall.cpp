// A busy machine: the event loop blocked for 2.5 s while the clock runs on the real timer. The clock must
// make up the lost seconds at the next tick, in one step and one datagram, and then tick on normally.

#include "FaultHarness.h"

#include "clock/FrmMain.h"
#include "fakes/FakeDialogs.h"
#include "fakes/FakeErrors.h"
#include "model/ClockModel.h"
#include "platform/HiTimer.h"
#include "platform/MonotonicClock.h"
#include "ui/MainWindowUi.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QTest>

#include <chrono>
#include <cstdint>
#include <thread>

using namespace std::chrono_literals;

class TestStall : public QObject
{
    Q_OBJECT

private slots:
    /// Counting down; the direction is the tick handler's business, tested with a fake timer elsewhere.
    void blockedEventLoopLosesNoTime()
    {
        const int direction = -1;
        korvo::model::ClockModel model;
        korvo::fakes::FakeTrap trap;
        const korvo::platform::SteadyClock steady;
        korvo::platform::HiTimer timer(steady, 1000ms);
        korvo::faults::LoopbackSocket socket;
        korvo::fakes::FakeDialogs dialogs;
        korvo::clock::FrmMain frm({model, trap.trap, timer, socket, dialogs});
        frm.setSettingsWindow([&] {
            model.applySet({{QStringLiteral("1st Half"), korvo::model::kFalse, 10, 0}}, korvo::model::COUNT_DOWN,
                           QStringLiteral("192.168.1.255"));
        });
        frm.Form_Load();
        frm.show();
        const QLabel* time = frm.ui().lblTIME;
        QCOMPARE(time->text(), QStringLiteral("10:00"));
        QCOMPARE(socket.take().size(), 1);

        const auto seconds = [&] { return korvo::faults::secondsOf(time->text()); };
        const int at0 = seconds();
        QTest::keyClick(frm.windowHandle(), Qt::Key_S);
        // The grid of deadlines the timer keeps from the moment Start switched it on.
        const std::chrono::nanoseconds gridStart = timer.nextDeadline() - timer.period();
        QTRY_COMPARE_WITH_TIMEOUT(seconds(), at0 + direction, 2000);
        QCOMPARE(socket.take().size(), 1);

        // Nothing runs while the loop is blocked: no tick, no repaint, no datagram.
        std::this_thread::sleep_for(2500ms);
        QCOMPARE(seconds(), at0 + direction);

        QElapsedTimer waited;
        waited.start();
        QTRY_VERIFY_WITH_TIMEOUT(seconds() != at0 + direction, 1500);
        const int advance = (seconds() - at0) * direction;
        const int step = advance - 1;
        QVERIFY2(step >= 2, qPrintable(QStringLiteral("the late tick moved the clock by %1").arg(step)));
        // By exactly the deadlines that have passed since Start, the latest of them within the last second.
        QCOMPARE(std::int64_t{advance}, (timer.lastDeadline() - gridStart) / timer.period());
        QVERIFY(steady.now() - timer.lastDeadline() < timer.period());
        // The catch-up came at once, not a tick period later.
        QVERIFY2(waited.elapsed() < 500, qPrintable(QStringLiteral("%1 ms").arg(waited.elapsed())));
        const QList<QByteArray> late = socket.take();
        QCOMPARE(late.size(), 1);
        QCOMPARE(late.front(), QByteArray("p1t") + time->text().toLatin1());

        // And then on the grid again: one second, one datagram.
        const int after = seconds();
        QTRY_COMPARE_WITH_TIMEOUT(seconds(), after + direction, 1500);
        QCOMPARE(socket.take().size(), 1);
        QCOMPARE(trap.reporter.texts, QStringList());
    }
};

QTEST_MAIN(TestStall)
#include "tst_stall.moc"
