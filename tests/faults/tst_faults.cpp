// Faults and bad input under a running clock and a settings window: a network that refuses every datagram,
// an event loop blocked for seconds, hostile period-set files and places to save them, a careless operator.
// Nothing may be reported for the network, no time lost, nothing crash, hang, break the clock's invariants
// or damage a file that was there before.

#include "platform/HiTimer.h"
#include "platform/MonotonicClock.h"
#include "support/ClockRig.h"
#include "support/Files.h"
#include "support/Namespace.h"
#include "support/SettingsRig.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QRadioButton>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTime>
#include <QTimer>

#include <sys/mount.h>
#include <sys/stat.h>

#include <random>
#include <thread>

using namespace korvo;
using namespace std::chrono_literals;
using test::click;
using test::writeFile;

namespace {

const QString kAt = QStringLiteral("|Location: KorvoTimer.frmSet.");
const std::vector<model::PERIOD_REC> kHalves{{"1st Half", model::kFalse, 10, 0}, {"2nd Half", model::kFalse, 10, 0}};
/// Why this run has no network and mount namespaces of its own (see main), or empty.
QString g_noNamespace;

/// kt0 = 192.168.0.1/24 with its pair kt1 (made once), then until the kernel routes to `host` (links come
/// up asynchronously).
bool networkUp(const QString& host)
{
    return test::sh("ip link show kt0 >/dev/null 2>&1 || { ip link add kt0 type veth peer name kt1 && ip addr add"
                    " 192.168.0.1/24 brd + dev kt0 && ip link set kt0 up && ip link set kt1 up; } || exit 1; for i in"
                    " $(seq 100); do ip -4 route get " + host + " >/dev/null 2>&1 && exit 0; sleep 0.02; done; exit 1");
}

} // namespace

class TestFaults : public QObject
{
    Q_OBJECT

private slots:
    void networkFault_data()
    {
        QTest::addColumn<bool>("real"); // the real socket in this namespace, else one whose every send fails
        QTest::addColumn<QString>("host");
        QTest::addColumn<QString>("fault"); // and how it clears
        QTest::addColumn<QString>("clear");
        QTest::newRow("every send fails") << false << "192.168.1.255" << "" << "";
        // Before anything brings the network up.
        QTest::newRow("namespace without any route") << true << "192.168.0.255" << "" << "";
        QTest::newRow("destination unreachable") << true << "10.9.2.255" << "ip route add unreachable 10.9.2.0/24"
                                                 << "ip route del unreachable 10.9.2.0/24 && ip addr add 10.9.2.1/24 brd + dev kt0";
    }
    /// Every procedure that sends, while nothing can be sent; then the fault clears.
    void networkFault()
    {
        QFETCH(bool, real);
        QFETCH(QString, host);
        QFETCH(QString, fault);
        QFETCH(QString, clear);
        if (real && !g_noNamespace.isEmpty())
            QSKIP(qPrintable(g_noNamespace));
        if (!fault.isEmpty())
            QVERIFY(networkUp(QStringLiteral("192.168.0.255")) && test::sh(fault));
        QUdpSocket receiver;
        QVERIFY(receiver.bind(QHostAddress(QHostAddress::AnyIPv4), 7699, QUdpSocket::ShareAddress));
        platform::UdpSocket udp;
        test::ClockRig c(real ? &udp : nullptr);
        c.socket.failSends = true;
        // What went out since the last call, as "destination payload".
        const auto sent = [&](qsizetype expected) {
            QStringList out = c.socket.take();
            while (real && (receiver.hasPendingDatagrams() || receiver.waitForReadyRead(out.size() < expected ? 2000 : 100))) {
                const QNetworkDatagram d = receiver.receiveDatagram();
                out.append(d.destinationAddress().toString() + QLatin1Char(' ') + QString::fromLatin1(d.data()));
            }
            return out;
        };
        // Standard error hears of the failing broadcast once, however many sends fail.
        const QRegularExpression failing(QStringLiteral("^KorvoTimer: the time broadcast fails: .+"));
        QTest::ignoreMessage(QtWarningMsg, failing);
        QTest::failOnWarning(failing);
        c.loadSet(kHalves, model::COUNT_DOWN, host);
        // What the operator sees of it: the period label red, the socket's error as its tooltip.
        const auto sign = [&c] {
            const QLabel* label = c.ui.lblPERIOD;
            return label->palette().color(QPalette::Window).name() + QLatin1Char(' ') + label->toolTip();
        };
        // The start-up datagram goes to a fixed host that only a missing network keeps it from.
        const QStringList first = fault.isEmpty() ? QStringList() : QStringList{"192.168.0.255 p1t10:00"};
        QCOMPARE(sent(first.size()), first);

        c.operate(QStringList{"S"} + QStringList(5, "tick"));
        QCOMPARE(c.state(), QStringLiteral("1st Half/09:55 black timer"));
        // Corrections down to the end, which enables Next; a correction, Reset and a tick in the 2nd half.
        c.operate(QStringList{"S", "cmd1UP"} + QStringList(62, "cmd10DW")
                  + QStringList{"cmdNEXTPERIOD", "cmd1DW", "mnRESETYES", "S", "tick"});
        QCOMPARE(c.state(), QStringLiteral("2nd Half/09:59 black timer"));
        QCOMPARE(sent(0), QStringList());
        QVERIFY2(sign().startsWith(QStringLiteral("#ff0000 ")) && sign().size() > 8, qPrintable(sign()));
        QVERIFY(real || sign() == QStringLiteral("#ff0000 No route to host"));

        // The fault clears: sends work again, the network comes up, the refused one gets an address here.
        c.socket.failSends = false;
        QVERIFY(clear.isEmpty() || test::sh(clear));
        QVERIFY(!real || networkUp(host));
        c.operate({"tick"});
        QCOMPARE(sent(1), QStringList{host + QStringLiteral(" p2t09:58")});
        QCOMPARE(c.state(), QStringLiteral("2nd Half/09:58 black timer"));
        QVERIFY2(!sign().startsWith(QStringLiteral("#ff0000")) && sign().endsWith(QLatin1Char(' ')), qPrintable(sign()));
    }

    /// The event loop blocked for 2.5 s while the clock runs on the real timer.
    void stalledEventLoopLosesNoTime()
    {
        const platform::SteadyClock steady;
        platform::HiTimer timer(steady, 1000ms);
        test::ClockRig c(nullptr, &timer);
        c.loadSet(kHalves, model::COUNT_DOWN, QStringLiteral("192.168.1.255"));
        const auto seconds = [&c] { return QTime::fromString(c.ui.lblTIME->text(), "mm:ss").msecsSinceStartOfDay() / 1000; };
        c.operate({"S"});
        // The grid of deadlines the timer keeps from the moment Start switched it on.
        const std::chrono::nanoseconds gridStart = timer.nextDeadline() - timer.period();
        QTRY_COMPARE_WITH_TIMEOUT(seconds(), 599, 2000);
        QCOMPARE(c.socket.take(), (QStringList{"192.168.000.255 p1t10:00", "192.168.1.255 p1t09:59"}));

        std::this_thread::sleep_for(2500ms); // nothing runs meanwhile: no tick, no repaint, no datagram
        QCOMPARE(seconds(), 599);
        QElapsedTimer waited;
        waited.start();
        QTRY_VERIFY_WITH_TIMEOUT(seconds() != 599, 1500);
        // At once, not a period later; by exactly the deadlines passed since Start, the last within a second.
        QVERIFY2(waited.elapsed() < 500, qPrintable(QStringLiteral("%1 ms").arg(waited.elapsed())));
        const int advance = 600 - seconds();
        QVERIFY2(advance - 1 >= 2, qPrintable(QStringLiteral("the late tick moved the clock by %1").arg(advance - 1)));
        QCOMPARE(std::int64_t{advance}, (timer.lastDeadline() - gridStart) / timer.period());
        QVERIFY(steady.now() - timer.lastDeadline() < timer.period());
        QCOMPARE(c.socket.take(), QStringList{"192.168.1.255 p1t" + c.ui.lblTIME->text()});

        // Then on the grid again: one second, one datagram.
        QTRY_COMPARE_WITH_TIMEOUT(seconds(), 599 - advance, 1500);
        QCOMPARE(c.socket.take().size(), 1);
        QCOMPARE(c.trap.reporter.texts, QStringList());
    }

    void hostileFile_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("reports");
        const QString access = "Error 75|Path/File access error" + kAt;
        const QString irregular = "Error 75|Path/File access error: not a regular file" + kAt + "cmdLOAD_Click";
        const QString format = "Error 321|Invalid file format: ";
        const QString notOpen = "\nError 52|Bad file name or number" + kAt + "cmdSAVE_Click";
        QTest::newRow("load a directory") << "directory" << irregular;
        QTest::newRow("load a FIFO") << "fifo" << irregular;      // would wait in open() for a writer
        QTest::newRow("load /dev/zero") << "device" << irregular; // would never end
        QTest::newRow("load without read permission") << "unreadable" << access + "cmdLOAD_Click";
        QTest::newRow("load a file whose reading fails") << "mem" << access + "cmdLOAD_Click"; // /proc/self/mem
        QTest::newRow("load 32,768 periods") << "many" << format + "more than 32767 periods" + kAt + "cmdLOAD_Click";
        QTest::newRow("load 1 MiB and a byte") << "large" << format + "larger than 1 MiB" + kAt + "cmdLOAD_Click";
        QTest::newRow("save over a directory") << "save" << access + "cmdSAVE_Click" + notOpen + notOpen;
        QTest::newRow("save into a full folder") << "full" << access + "cmdSAVE_Click\n" + access + "cmdSAVE_Click";
        // Where nothing can be made beside the file, a file that can be written is written in place.
        QTest::newRow("save over a file in a read-only folder") << "read-only" << "";
        QTest::newRow("save a new file into a read-only folder") << "read-only, new" << access + "cmdSAVE_Click" + notOpen + notOpen;
    }
    void hostileFile()
    {
        QFETCH(QString, kind);
        QFETCH(QString, reports);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("set.ptm"));
        const bool saving = kind.startsWith("save") || kind.startsWith("read-only") || kind == "full";
        const auto unmount = qScopeGuard([&] { ::umount(QFile::encodeName(dir.path()).constData()); });
        QByteArray bytes;
        if (kind == "directory" || kind == "save") {
            QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("set.ptm")));
            writeFile(path + QStringLiteral("/inside.txt"), "kept");
        } else if (kind == "unreadable") {
            writeFile(path, "TimePass\r\nSecret\r\n10:00\r\n");
            QVERIFY(QFile::setPermissions(path, QFile::WriteOwner));
        } else if (kind == "fifo") {
            QVERIFY(::mkfifo(QFile::encodeName(path).constData(), 0600) == 0);
        } else if (kind == "device" || kind == "mem") {
            QVERIFY(QFile::link(kind == "mem" ? "/proc/self/mem" : "/dev/zero", path));
        } else if (kind == "many") {
            bytes = "TimeLeft\r\n" + QByteArray("P\r\n12:00\r\n").repeated(32768); // 320 KiB
        } else if (kind == "large") {
            bytes = "TimeLeft\r\n" + QByteArray(1024 * 1024 - 16, 'L') + "\r\n01:00";
        } else if (kind == "full") {
            if (!g_noNamespace.isEmpty())
                QSKIP(qPrintable(g_noNamespace));
            QVERIFY(::mount("tmpfs", QFile::encodeName(dir.path()).constData(), "tmpfs", 0, "size=64k") == 0);
            writeFile(path, bytes = "TimeLeft\r\nOld\r\n01:00\r\n");
            test::sh("cat /dev/zero >" + dir.filePath("filler") + " 2>/dev/null"); // until not a byte is left
        } else if (kind.startsWith("read-only")) {
            if (kind == "read-only")
                bytes = "TimeLeft\r\nOld\r\n01:00\r\n";
        }
        if (!bytes.isEmpty() && !QFile::exists(path))
            writeFile(path, bytes);
        if (kind.startsWith("read-only"))
            QVERIFY(QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::ExeOwner));

        test::Settings s;
        s.add(QStringLiteral("Before"), 5, 0);
        (saving ? s.dialogs.saveNames : s.dialogs.openNames).push_back(path);
        // Root reads and writes anything: it is made to meet permissions as an operator does.
        test::overridePermissions(false);
        const bool refused = kind == "unreadable"            ? !QFile(path).open(QIODevice::ReadOnly)
                             : kind.startsWith("read-only") ? !QFile(dir.filePath("probe")).open(QIODevice::WriteOnly)
                                                            : true;
        QElapsedTimer t;
        t.start();
        click(saving ? s.ui().cmdSAVE : s.ui().cmdLOAD);
        QVERIFY2(t.elapsed() < 10000, qPrintable(QStringLiteral("hung for %1 ms").arg(t.elapsed())));
        test::overridePermissions(true);
        QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        if ((kind == "unreadable" || kind.startsWith("read-only")) && !refused)
            QSKIP("this user reads and writes without permission, and cannot be stopped from it");
        QCOMPARE(s.reports(), reports);
        // Read or saved over, the file is as it was, unless it was saved in place; a failed save leaves the
        // table unsaved, and what could not be read replaced nothing. Nothing is left beside the file.
        const bool saved = saving && reports.isEmpty();
        if (!bytes.isEmpty())
            QCOMPARE(test::readFile(path), saved ? QByteArray("TimePass\r\nBefore\r\n05:00\r\n") : bytes);
        QCOMPARE(s.frm->SET_CHANGED, saved ? model::kFalse : model::kTrue);
        QCOMPARE(s.table(), QStringList{"Before|05:00"});
        QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot | QDir::System, QDir::Name),
                 (kind == "full" ? QStringList{"filler", "set.ptm"} : kind == "read-only, new" ? QStringList() : QStringList{"set.ptm"}));
        if (kind == "directory" || kind == "save")
            QCOMPARE(test::readFile(path + QStringLiteral("/inside.txt")), QByteArray("kept"));
    }

    /// 10,000 seeded random clicks and keys on both windows, dialogs answered from a random script, ticks of
    /// a fake timer in between, reports answered Ignore or Retry: after every action the model keeps its
    /// invariants and the action has come back at once.
    void randomOperator()
    {
        QTemporaryDir dir;
        const QStringList open{
            writeFile(dir.filePath("down.ptm"), "TimeLeft\r\n1st Half\r\n00:05\r\n2nd Half\r\n00:03\r\nExtra\r\nAsk me\r\n"),
            writeFile(dir.filePath("up.ptm"), "TimePass\r\nQ1\r\n00:04\r\nQ2\r\n00:00\r\nQ3\r\n99:59\r\n"),
            writeFile(dir.filePath("askme.ptm"), "TimeLeft\r\nFirst\r\nAsk me\r\nSecond\r\nAsk me\r\n"),
            dir.filePath("missing.ptm"), dir.filePath("saved.ptm"), QString()};
        const QStringList save{dir.filePath("saved.ptm"), dir.filePath("no/such/folder/x.ptm"), QString()};
        const QStringList inputs{"0", "1", "5", "12", "59", "99", "100", "-1", "abc", "", " 7", "3.5", "65536"};
        const Qt::Key keys[] = {Qt::Key_Up, Qt::Key_Down, Qt::Key_PageUp, Qt::Key_PageDown, Qt::Key_Home, Qt::Key_End,
                                Qt::Key_Backspace, Qt::Key_Tab, Qt::Key_Space, Qt::Key_Return, Qt::Key_A, Qt::Key_S,
                                Qt::Key_H, Qt::Key_F1, Qt::Key_Colon, Qt::Key_Minus, Qt::Key_0, Qt::Key_1, Qt::Key_9};
        qsizetype actions = 0, ticks = 0, periodChanges = 0, datagrams = 0, reports = 0;
        for (std::uint32_t seed = 7699; seed < 7703; ++seed) {
            std::mt19937 rng(seed);
            const auto roll = [&rng](auto n) { return static_cast<int>(rng() % static_cast<std::uint32_t>(n)); };
            test::ClockRig c;
            const model::ClockModel& m = c.model;
            const errors::Trap& trap = c.trap.trap;
            // More answers than a round asks for. Retry never twice in a row (a step that keeps failing
            // would be retried forever), never Abort: the program must go on.
            for (int i = 0; i < 2500; ++i) {
                c.dialogs.yesNo.push_back(roll(2) == 0 ? platform::Dialogs::Reply::Yes : platform::Dialogs::Reply::No);
                c.dialogs.inputs.push_back(inputs[roll(inputs.size())]);
                c.dialogs.openNames.push_back(open[roll(open.size())]);
                c.dialogs.saveNames.push_back(save[roll(save.size())]);
                if (roll(4) == 0)
                    c.trap.reporter.answers.push_back(errors::Answer::Retry);
                c.trap.reporter.answers.push_back(errors::Answer::Ignore);
            }
            int done = 0;
            bool inSettings = false; // the clock's values only count once the settings window is closed
            bool checked = false;    // CHECK_TIME ran
            QString failure;
            const auto act = [&](const QString& name, auto&& action) {
                ++done;
                QElapsedTimer t;
                t.start();
                action();
                QString why;
                if (t.elapsed() > 2000)
                    why = QStringLiteral("took %1 ms").arg(t.elapsed());
                else if (QApplication::activePopupWidget() != nullptr)
                    why = QStringLiteral("a pop-up menu stayed open");
                else if (!inSettings && !trap.ended() && (m.CUR_PERIOD < 1 || m.CUR_PERIOD > m.PERIOD_COUNT))
                    why = QStringLiteral("CUR_PERIOD %1 outside 1 … %2").arg(m.CUR_PERIOD).arg(m.PERIOD_COUNT);
                else if (checked && !trap.ended() && (m.CUR_SECONDS < 0 || m.CUR_SECONDS > m.PERIOD_SECONDS))
                    why = QStringLiteral("CUR_SECONDS %1 outside 0 … %2").arg(m.CUR_SECONDS).arg(m.PERIOD_SECONDS);
                if (failure.isEmpty() && !why.isEmpty())
                    failure = QStringLiteral("seed %1, action %2 (%3): %4").arg(seed).arg(done).arg(name, why);
            };
            c.settingsWindow = [&] {
                inSettings = true;
                settings::FrmSet& s = *c.frmSet;
                s.Form_Load();
                s.show();
                const ui::SettingsWindowUi& w = s.widgets();
                QWidget* const targets[] = {w.cmdADD, w.cmdREMOVE, w.cmdUP, w.cmdDOWN, w.cmdSAVE, w.cmdLOAD, w.cmdOK,
                                            w.chkASKME, w.optPASS, w.optLEFT, w.txtPERIODLEGEND, w.txtIP,
                                            w.vsTIMEMIN, w.vsTIMESEC, w.grdPERIOD->viewport()};
                for (int i = 0; i < 700 && s.isVisible() && failure.isEmpty() && !trap.ended(); ++i) {
                    QWidget* target = targets[roll(std::size(targets))];
                    const int r = roll(9);
                    const QPoint at(roll(std::max(1, target->width())), roll(std::max(1, target->height())));
                    const Qt::Key key = keys[roll(std::size(keys))];
                    act(target->objectName(), [&] {
                        if (r < 3)
                            QTest::mouseClick(target, Qt::LeftButton, {}, at);
                        else if (r < 7)
                            QTest::keyClick(target, key);
                        else
                            (r == 7 ? s.tmrPASSdemo_Timer() : s.tmrLEFTdemo_Timer());
                    });
                }
                if (s.isVisible() && !trap.ended()) { // one who got nowhere enters one period and presses Ok
                    act(QStringLiteral("finish the set"), [&] {
                        w.txtPERIODLEGEND->setText(QStringLiteral("Final"));
                        if (w.chkASKME->isChecked())
                            click(w.chkASKME);
                        w.vsTIMEMIN->setValue(1);
                        click(w.cmdADD);
                        w.txtIP->setText(QStringLiteral("192168000"));
                        click(w.cmdOK);
                    });
                }
                s.hide();
                inSettings = false;
            };
            act(QStringLiteral("start-up"), [&] { c.frm->Form_Load(); });
            c.frm->show();
            QStringList buttons{"cmd1UP", "cmd1DW", "cmd10UP", "cmd10DW", "cmdSTART", "cmdPAUSE", "Reset",
                                "cmdNEXTPERIOD", "cmdPREVPERIOD", "cmdSETTING"};
            while (done < 2500 && failure.isEmpty() && !trap.ended()) {
                const int r = roll(16);
                const std::int16_t period = m.CUR_PERIOD;
                checked = r < 4 && c.frm->findChild<QWidget*>(buttons[r])->isEnabled(); // a correction runs CHECK_TIME
                if (r < 10) {
                    if (r == 6) // Reset, answered Yes once in three times
                        buttons[6] = roll(3) == 0 ? "mnRESETYES" : "mnRESETNO";
                    act(buttons[r], [&] { c.operate({buttons[r]}); });
                } else if (r < 13) {
                    const Qt::Key key = r < 12 ? Qt::Key_S : keys[roll(std::size(keys))];
                    act(QStringLiteral("key %1").arg(key), [&] { QTest::keyClick(c.frm->windowHandle(), key); });
                } else { // a tick, mostly on time, sometimes late, now and then absurdly late
                    const int p = roll(100);
                    const int missed = p < 80 ? 0 : p < 95 ? roll(5) + 1 : p < 98 ? 3000 : 40000;
                    act(QStringLiteral("tick missed %1").arg(missed), [&] { checked = c.timer.fire(missed); });
                    ticks += checked ? 1 : 0;
                }
                periodChanges += m.CUR_PERIOD != period ? 1 : 0;
            }
            QVERIFY2(failure.isEmpty(), qPrintable(failure));
            actions += done;
            datagrams += c.socket.take().size();
            reports += c.trap.reporter.texts.size();
            // Still responsive: an event posted now is handled at once, and no window is left modal.
            bool handled = false;
            QTimer::singleShot(0, [&handled] { handled = true; });
            QTRY_VERIFY_WITH_TIMEOUT(handled, 1000);
            QCOMPARE(QApplication::activeModalWidget(), nullptr);
        }
        // The operator really got around: the clock ran, periods changed, the network was fed, errors answered.
        QCOMPARE(actions, 10000);
        QVERIFY2(ticks > 500 && periodChanges > 20 && datagrams > 1000 && reports > 0,
                 qPrintable(QStringLiteral("%1 ticks, %2 changes of period, %3 datagrams, %4 reports")
                                .arg(ticks).arg(periodChanges).arg(datagrams).arg(reports)));
    }
};

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    // Everything runs in network and mount namespaces of its own: at first without any network, with room to
    // mount a small file system. Where none can be made, the tests that need one are skipped.
    if (const int code = test::rerunInNamespaces(g_noNamespace); code >= 0)
        return code;
    TestFaults test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_faults.moc"
