// Faults and bad input under a running clock and a settings window: a network that refuses every datagram,
// an event loop blocked for seconds, hostile period-set files and places to save them, a careless operator.
// Nothing may be reported for the network, no time lost, nothing crash, hang, break the clock's invariants
// or damage a file that was there before.

#include "platform/HiTimer.h"
#include "platform/MonotonicClock.h"
#include "support/ClockRig.h"
#include "support/FakeSocket.h"
#include "support/Files.h"
#include "support/SettingsRig.h"
#include "ui/SettingsWindowUi.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QNetworkDatagram>
#include <QProcess>
#include <QRegularExpression>
#include <QPushButton>
#include <QRadioButton>
#include <QScopeGuard>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QUdpSocket>

#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <iterator>
#include <random>
#include <thread>

using namespace korvo;
using namespace std::chrono_literals;
using test::overridePermissions;
using test::readFile;
using test::writeFile;

namespace {

const QString kAt = QStringLiteral("|Location: KorvoTimer.frmSet.");
/// Why this run has no network and mount namespaces of its own (see main), or empty.
QString g_noNamespace;

/// The main window with two halves of 10:00 counting down, loaded and shown; Reset is always answered Yes.
struct Halves : test::ClockRig
{
    Halves(platform::TickTimer& timer, platform::DatagramSocket& socket, const QString& host)
        : ClockRig(timer, socket)
    {
        frm->setPopupMenu([](QMenu& menu, const QPoint&) {
            for (QAction* a : menu.actions())
                if (a->objectName() == QLatin1String("mnRESETYES"))
                    a->trigger();
        });
        loadSet({{"1st Half", model::kFalse, 10, 0}, {"2nd Half", model::kFalse, 10, 0}}, model::COUNT_DOWN, host);
    }
    [[nodiscard]] QString time() const { return frm->ui().lblTIME->text(); }
    [[nodiscard]] int seconds() const { return time().left(2).toInt() * 60 + time().right(2).toInt(); }
};

/// Clicks a button; fails the test when the procedure hangs for 10 s.
void timedClick(QAbstractButton* button)
{
    QElapsedTimer t;
    t.start();
    QTest::mouseClick(button, Qt::LeftButton);
    QVERIFY2(t.elapsed() < 10000, qPrintable(QStringLiteral("%1 ms").arg(t.elapsed())));
}

bool sh(const QString& script)
{
    return QProcess::execute(QStringLiteral("sh"), {QStringLiteral("-c"), script}) == 0;
}

/// Loopback and kt0 = 192.168.0.1/24 with its pair kt1 (made once), then until the kernel routes to `host`
/// (links come up asynchronously).
bool networkUp(const QString& host)
{
    return sh("ip link show kt0 >/dev/null 2>&1 || { ip link set lo up && ip link add kt0 type veth peer name kt1"
              " && ip addr add 192.168.0.1/24 brd + dev kt0 && ip link set kt0 up && ip link set kt1 up; } || exit 1;"
              " for i in $(seq 100); do ip -4 route get "
              + host + " >/dev/null 2>&1 && exit 0; sleep 0.02; done; exit 1");
}

} // namespace

class TestFaults : public QObject
{
    Q_OBJECT

private slots:
    void networkFault_data()
    {
        QTest::addColumn<int>("fault");
        QTest::newRow("every send fails") << 0;
        QTest::newRow("namespace without any route") << 1; // before anything brings the network up
        QTest::newRow("destination unreachable") << 2;
    }
    /// Every procedure that sends, while nothing can be sent; then the fault clears.
    void networkFault()
    {
        QFETCH(int, fault);
        if (fault > 0 && !g_noNamespace.isEmpty())
            QSKIP(qPrintable(g_noNamespace));
        const QString host = QStringList{"192.168.1.255", "192.168.0.255", "10.9.2.255"}[fault];
        if (fault == 2)
            QVERIFY(networkUp(QStringLiteral("192.168.0.255")) && sh("ip route add unreachable 10.9.2.0/24"));
        QUdpSocket receiver;
        QVERIFY(receiver.bind(QHostAddress(QHostAddress::AnyIPv4), 7699, QUdpSocket::ShareAddress));
        fakes::FakeSocket fake;
        fake.failSends = true;
        platform::UdpSocket real;
        // What went out since the last call, as "destination payload".
        const auto sent = [&](qsizetype expected) {
            QStringList out;
            for (const fakes::FakeSocket::Datagram& d : fake.sent)
                out.append(d.host + QLatin1Char(' ') + d.text);
            fake.sent.clear();
            while (fault > 0 && (receiver.hasPendingDatagrams()
                                 || receiver.waitForReadyRead(out.size() < expected ? 2000 : 100))) {
                const QNetworkDatagram d = receiver.receiveDatagram();
                out.append(d.destinationAddress().toString() + QLatin1Char(' ') + QString::fromLatin1(d.data()));
            }
            return out;
        };
        // Standard error hears of the failing broadcast once, however many sends fail.
        const QRegularExpression failing(QStringLiteral("^KorvoTimer: the time broadcast fails: .+"));
        QTest::ignoreMessage(QtWarningMsg, failing);
        QTest::failOnWarning(failing);
        fakes::FakeTimer timer;
        Halves c(timer, fault == 0 ? static_cast<platform::DatagramSocket&>(fake) : real, host);
        // What the operator sees of it: the period label red, the socket's error as its tooltip.
        const auto sign = [&c] {
            const QLabel* label = c.frm->ui().lblPERIOD;
            return label->palette().color(QPalette::Window).name() + QLatin1Char(' ') + label->toolTip();
        };
        // The start-up datagram goes to a fixed host that only a missing network keeps it from.
        QCOMPARE(sent(fault == 2 ? 1 : 0), fault == 2 ? QStringList{"192.168.0.255 p1t10:00"} : QStringList());

        QTest::keyClick(c.frm->windowHandle(), Qt::Key_S);
        for (int i = 1; i <= 5; ++i) {
            QVERIFY(timer.fire());
            QCOMPARE(c.time(), QStringLiteral("09:%1").arg(60 - i));
            QCOMPARE(c.frm->windowTitle(), QStringLiteral("1st Half/09:%1").arg(60 - i));
        }
        QTest::keyClick(c.frm->windowHandle(), Qt::Key_S); // pause
        QVERIFY(!timer.enabled);
        QTest::mouseClick(c.frm->ui().cmd1UP, Qt::LeftButton);
        QTest::mouseClick(c.frm->ui().cmd10DW, Qt::LeftButton);
        QCOMPARE(c.time(), QStringLiteral("09:46"));
        for (int i = 0; i < 61; ++i)
            QTest::mouseClick(c.frm->ui().cmd10DW, Qt::LeftButton); // down to the end: Next becomes possible
        QCOMPARE(c.time(), QStringLiteral("00:00"));
        QTest::mouseClick(c.frm->ui().cmdNEXTPERIOD, Qt::LeftButton);
        QCOMPARE(c.frm->windowTitle(), QStringLiteral("2nd Half/10:00"));
        QTest::mouseClick(c.frm->ui().cmd1DW, Qt::LeftButton);
        QTest::mouseClick(c.frm->ui().cmdRESET, Qt::LeftButton);
        QCOMPARE(c.time(), QStringLiteral("10:00"));
        QTest::keyClick(c.frm->windowHandle(), Qt::Key_S);
        QVERIFY(timer.fire());
        QCOMPARE(c.frm->windowTitle(), QStringLiteral("2nd Half/09:59"));
        QCOMPARE(sent(0), QStringList());
        QCOMPARE(c.trap.reporter.texts, QStringList());
        QVERIFY2(sign().startsWith(QStringLiteral("#ff0000 ")) && sign().size() > 8, qPrintable(sign()));
        QVERIFY(fault > 0 || sign() == QStringLiteral("#ff0000 No route to host"));

        // The fault clears: sends work again, the network comes up, the refused one gets an address here.
        fake.failSends = false;
        if (fault == 2)
            QVERIFY(sh("ip route del unreachable 10.9.2.0/24 && ip addr add 10.9.2.1/24 brd + dev kt0"));
        QVERIFY(fault == 0 || networkUp(host));
        QVERIFY(timer.fire());
        QCOMPARE(sent(1), QStringList{host + QStringLiteral(" p2t09:58")});
        QCOMPARE(c.trap.reporter.texts, QStringList());
        QVERIFY2(!sign().startsWith(QStringLiteral("#ff0000")) && sign().endsWith(QLatin1Char(' ')), qPrintable(sign()));
    }

    /// The event loop blocked for 2.5 s while the clock runs on the real timer.
    void stalledEventLoopLosesNoTime()
    {
        const platform::SteadyClock steady;
        platform::HiTimer timer(steady, 1000ms);
        fakes::FakeSocket socket;
        Halves c(timer, socket, QStringLiteral("192.168.1.255"));
        const int at0 = c.seconds();
        QTest::keyClick(c.frm->windowHandle(), Qt::Key_S);
        // The grid of deadlines the timer keeps from the moment Start switched it on.
        const std::chrono::nanoseconds gridStart = timer.nextDeadline() - timer.period();
        QTRY_COMPARE_WITH_TIMEOUT(c.seconds(), at0 - 1, 2000);
        QCOMPARE(socket.sent.size(), std::size_t{2});

        std::this_thread::sleep_for(2500ms); // nothing runs meanwhile: no tick, no repaint, no datagram
        QCOMPARE(c.seconds(), at0 - 1);
        QElapsedTimer waited;
        waited.start();
        QTRY_VERIFY_WITH_TIMEOUT(c.seconds() != at0 - 1, 1500);
        // At once, not a period later; by exactly the deadlines passed since Start, the last within a second.
        QVERIFY2(waited.elapsed() < 500, qPrintable(QStringLiteral("%1 ms").arg(waited.elapsed())));
        const int advance = at0 - c.seconds();
        QVERIFY2(advance - 1 >= 2, qPrintable(QStringLiteral("the late tick moved the clock by %1").arg(advance - 1)));
        QCOMPARE(std::int64_t{advance}, (timer.lastDeadline() - gridStart) / timer.period());
        QVERIFY(steady.now() - timer.lastDeadline() < timer.period());
        QCOMPARE(socket.sent.size(), std::size_t{3});
        QCOMPARE(socket.sent.back().text, QStringLiteral("p1t") + c.time());

        // Then on the grid again: one second, one datagram.
        QTRY_COMPARE_WITH_TIMEOUT(c.seconds(), at0 - advance - 1, 1500);
        QCOMPARE(socket.sent.size(), std::size_t{4});
        QCOMPARE(c.trap.reporter.texts, QStringList());
    }

    void hostileFile_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("report"); // the first one; empty: none
        QTest::addColumn<int>("reports");    // how many; -1: not counted
        const QString access = "Error 75|Path/File access error" + kAt;
        const QString irregular = "Error 75|Path/File access error: not a regular file" + kAt + "cmdLOAD_Click";
        const QString format = QStringLiteral("Error 321|Invalid file format: ");
        QTest::newRow("load a directory") << "directory" << irregular << 1;
        QTest::newRow("load a FIFO") << "fifo" << irregular << 1;       // would wait in open() for a writer
        QTest::newRow("load /dev/zero") << "device" << irregular << 1;  // would never end
        QTest::newRow("load without read permission") << "unreadable" << (access + "cmdLOAD_Click") << 1;
        QTest::newRow("load 32,768 periods") << "many" << (format + "more than 32767 periods" + kAt + "cmdLOAD_Click") << 1;
        QTest::newRow("load 1 MiB and a byte") << "large" << (format + "larger than 1 MiB" + kAt + "cmdLOAD_Click") << 1;
        QTest::newRow("save over a directory") << "save" << (access + "cmdSAVE_Click") << -1;
        QTest::newRow("save into a full folder") << "full" << (access + "cmdSAVE_Click") << -1;
    }
    void hostileFile()
    {
        QFETCH(QString, kind);
        QFETCH(QString, report);
        QFETCH(int, reports);
        const auto is = [&kind](const char* k) { return kind == QLatin1String(k); };
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("set.ptm"));
        const bool saving = is("save") || is("full");
        const auto unmount = qScopeGuard([&] { ::umount(QFile::encodeName(dir.path()).constData()); });
        QByteArray bytes;
        if (is("directory") || is("save")) {
            QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("set.ptm")));
            writeFile(path + QStringLiteral("/inside.txt"), "kept");
        } else if (is("unreadable")) {
            writeFile(path, "TimePass\r\nSecret\r\n10:00\r\n");
            QVERIFY(QFile::setPermissions(path, QFile::WriteOwner));
        } else if (is("fifo")) {
            QVERIFY(::mkfifo(QFile::encodeName(path).constData(), 0600) == 0);
        } else if (is("device")) {
            QVERIFY(QFile::link(QStringLiteral("/dev/zero"), path));
        } else if (is("many")) {
            bytes = "TimeLeft\r\n" + QByteArray("P\r\n12:00\r\n").repeated(32768); // 320 KiB
        } else if (is("large")) {
            bytes = "TimeLeft\r\n" + QByteArray(1024 * 1024 - 16, 'L') + "\r\n01:00";
        } else {
            if (!g_noNamespace.isEmpty())
                QSKIP(qPrintable(g_noNamespace));
            QVERIFY(::mount("tmpfs", QFile::encodeName(dir.path()).constData(), "tmpfs", 0, "size=64k") == 0);
            writeFile(path, bytes = "TimeLeft\r\nOld\r\n01:00\r\n");
            sh("cat /dev/zero >" + dir.filePath("filler") + " 2>/dev/null"); // until not a byte is left
        }
        if (!bytes.isEmpty() && !QFile::exists(path))
            writeFile(path, bytes);

        test::Settings s;
        s.ui().txtPERIODLEGEND->setText(QStringLiteral("Before"));
        s.ui().vsTIMEMIN->setValue(5);
        QTest::mouseClick(s.ui().cmdADD, Qt::LeftButton);
        s.frm->SET_CHANGED = model::kFalse;
        (saving ? s.dialogs.saveNames : s.dialogs.openNames).push_back(path);
        overridePermissions(!is("unreadable"));
        const bool refused = is("unreadable") && !QFile(path).open(QIODevice::ReadOnly);
        timedClick(saving ? s.ui().cmdSAVE : s.ui().cmdLOAD);
        overridePermissions(true);
        if (is("unreadable") && !refused)
            QSKIP("this user reads files without read permission, and cannot be stopped from it");
        if (reports >= 0)
            QCOMPARE(s.trap.reporter.texts.size(), reports);
        QCOMPARE(s.report(), report);
        if (!bytes.isEmpty())
            QCOMPARE(readFile(path), bytes); // read or saved over, the file is as it was

        // What could not be read replaced nothing; nothing written beside the file.
        QCOMPARE(s.rows(), 1);
        QCOMPARE(s.grid().textMatrix(1, 1), QStringLiteral("Before"));
        QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot | QDir::System,
                                            QDir::Name),
                 (is("full") ? QStringList{"filler", "set.ptm"} : QStringList{"set.ptm"}));
        if (is("directory") || is("save"))
            QCOMPARE(readFile(path + QStringLiteral("/inside.txt")), QByteArray("kept"));
    }

    /// 10,000 seeded random clicks and keys on both windows, dialogs answered from a random script, ticks of
    /// a fake timer in between, reports answered Ignore or Retry: after every action the model keeps its
    /// invariants and the action has come back at once.
    void randomOperator()
    {
        QTemporaryDir dir;
        const QStringList open{
            writeFile(dir.filePath("down.ptm"),
                      "TimeLeft\r\n1st Half\r\n00:05\r\n2nd Half\r\n00:03\r\nExtra\r\nAsk me\r\n"),
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
            fakes::FakeTimer timer;
            fakes::FakeSocket socket;
            test::ClockRig c(timer, socket);
            model::ClockModel& m = c.model;
            fakes::FakeTrap& trap = c.trap;
            fakes::FakeDialogs& dialogs = c.dialogs;
            clock::FrmMain& frm = *c.frm;
            // More answers than a round asks for. Retry never twice in a row (a step that keeps failing
            // would be retried forever), never Abort: the program must go on.
            for (int i = 0; i < 2500; ++i) {
                dialogs.yesNo.push_back(roll(2) == 0 ? platform::Dialogs::Reply::Yes : platform::Dialogs::Reply::No);
                dialogs.inputs.push_back(inputs[roll(inputs.size())]);
                dialogs.openNames.push_back(open[roll(open.size())]);
                dialogs.saveNames.push_back(save[roll(save.size())]);
                if (roll(4) == 0)
                    trap.reporter.answers.push_back(errors::Answer::Retry);
                trap.reporter.answers.push_back(errors::Answer::Ignore);
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
                else if (!inSettings && !trap.trap.ended() && (m.CUR_PERIOD < 1 || m.CUR_PERIOD > m.PERIOD_COUNT))
                    why = QStringLiteral("CUR_PERIOD %1 outside 1 … %2").arg(m.CUR_PERIOD).arg(m.PERIOD_COUNT);
                else if (checked && !trap.trap.ended() && (m.CUR_SECONDS < 0 || m.CUR_SECONDS > m.PERIOD_SECONDS))
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
                for (int i = 0; i < 700 && s.isVisible() && failure.isEmpty() && !trap.trap.ended(); ++i) {
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
                if (s.isVisible() && !trap.trap.ended()) { // one who got nowhere enters one period and presses Ok
                    act(QStringLiteral("finish the set"), [&] {
                        w.txtPERIODLEGEND->setText(QStringLiteral("Final"));
                        if (w.chkASKME->isChecked())
                            QTest::mouseClick(w.chkASKME, Qt::LeftButton);
                        w.vsTIMEMIN->setValue(1);
                        QTest::mouseClick(w.cmdADD, Qt::LeftButton);
                        w.txtIP->setText(QStringLiteral("192168000"));
                        QTest::mouseClick(w.cmdOK, Qt::LeftButton);
                    });
                }
                s.hide();
                inSettings = false;
            };
            frm.setPopupMenu([&](QMenu& menu, const QPoint&) {
                const char* const answers[] = {"mnRESETYES", "mnRESETNO", "(none)"};
                const QLatin1String answer(answers[roll(3)]);
                for (QAction* a : menu.actions())
                    if (a->objectName() == answer)
                        a->trigger();
            });
            act(QStringLiteral("start-up"), [&] { frm.Form_Load(); });
            frm.show();
            const ui::MainWindowUi& u = frm.ui();
            QAbstractButton* const buttons[] = {u.cmd1UP, u.cmd1DW, u.cmd10UP, u.cmd10DW, u.cmdSTART, u.cmdPAUSE,
                                                u.cmdRESET, u.cmdNEXTPERIOD, u.cmdPREVPERIOD, u.cmdSETTING};
            while (done < 2500 && failure.isEmpty() && !trap.trap.ended()) {
                const int r = roll(16);
                const std::int16_t period = m.CUR_PERIOD;
                checked = r < 4 && buttons[r]->isEnabled(); // a correction runs CHECK_TIME
                if (r < 10) {
                    act(buttons[r]->objectName(), [&] { QTest::mouseClick(buttons[r], Qt::LeftButton); });
                } else if (r < 13) {
                    const Qt::Key key = r < 12 ? Qt::Key_S : keys[roll(std::size(keys))];
                    act(QStringLiteral("key %1").arg(key), [&] { QTest::keyClick(frm.windowHandle(), key); });
                } else { // a tick, mostly on time, sometimes late, now and then absurdly late
                    const int p = roll(100);
                    const int missed = p < 80 ? 0 : p < 95 ? roll(5) + 1 : p < 98 ? 3000 : 40000;
                    act(QStringLiteral("tick missed %1").arg(missed), [&] { checked = timer.fire(missed); });
                    ticks += checked ? 1 : 0;
                }
                periodChanges += m.CUR_PERIOD != period ? 1 : 0;
            }
            QVERIFY2(failure.isEmpty(), qPrintable(failure));
            actions += done;
            datagrams += static_cast<qsizetype>(socket.sent.size());
            reports += trap.reporter.texts.size();
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
    qputenv("PATH", qgetenv("PATH") + ":/usr/sbin:/sbin"); // where ip lives
    // Everything runs in network and mount namespaces of its own: at first without any network, with room to
    // mount a small file system. Where none can be made, the tests that need one are skipped.
    if (qEnvironmentVariableIsEmpty("KORVO_FAULTS_INSIDE")) {
        const QStringList flags = ::geteuid() == 0 ? QStringList{"-n", "-m"} : QStringList{"-r", "-n", "-m"};
        if (QProcess::execute(QStringLiteral("unshare"), flags + QStringList{QStringLiteral("true")}) == 0) {
            qputenv("KORVO_FAULTS_INSIDE", "1");
            const QStringList self = flags + QStringList{QCoreApplication::applicationFilePath()};
            const int code = QProcess::execute(QStringLiteral("unshare"), self + QCoreApplication::arguments().mid(1));
            return code < 0 ? 1 : code;
        }
        g_noNamespace = QStringLiteral("cannot make a namespace here (unshare %1 failed)").arg(flags.join(' '));
    }
    TestFaults test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_faults.moc"
