// The datagrams of a short scripted game, byte for byte and with their destinations, as a display on the
// network receives them. The clock sends to broadcast addresses, so the game is played inside a private
// network namespace that this test makes for itself (the executable runs itself again in it).

#include "ClockHarness.h"

#include "settings/FrmSet.h"
#include "ui/SettingsWindowUi.h"
#include "ui/SymbolButton.h"

#include <QFile>
#include <QLineEdit>
#include <QNetworkDatagram>
#include <QProcess>
#include <QPushButton>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QUdpSocket>

#include <unistd.h>

namespace {

/// Receives what arrives on port 7699 of any local address, with the address it was sent to.
QStringList receiveAll(QUdpSocket& receiver, qsizetype expected)
{
    QStringList out;
    while (out.size() < expected && (receiver.hasPendingDatagrams() || receiver.waitForReadyRead(2000))) {
        const QNetworkDatagram d = receiver.receiveDatagram();
        out.append(d.destinationAddress().toString() + QLatin1Char(' ') + QString::fromLatin1(d.data()));
    }
    // Anything more would be a datagram too many.
    while (receiver.waitForReadyRead(200) || receiver.hasPendingDatagrams()) {
        const QNetworkDatagram d = receiver.receiveDatagram();
        out.append(d.destinationAddress().toString() + QLatin1Char(' ') + QString::fromLatin1(d.data()));
    }
    return out;
}

} // namespace

/// Runs inside the namespace: loopback, 192.168.0.1/24 on kt0 and 10.1.2.3/24 on kt2.
class GameInNamespace : public QObject
{
    Q_OBJECT

private slots:
    void scriptedGame()
    {
        QUdpSocket receiver;
        QVERIFY(receiver.bind(QHostAddress(QHostAddress::AnyIPv4), 7699, QUdpSocket::ShareAddress));

        QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("halves.ptm"));
        {
            QFile f(file);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write("TimeLeft\r\n1st Half\r\n00:03\r\n2nd Half\r\nAsk me\r\n");
        }

        korvo::model::ClockModel model;
        korvo::fakes::FakeTrap trap;
        korvo::fakes::FakeTimer timer;
        korvo::platform::UdpSocket socket;
        korvo::fakes::FakeDialogs dialogs;
        dialogs.openNames.push_back(file);
        dialogs.inputs = {QStringLiteral("1"), QStringLiteral("5")};
        korvo::clock::FrmMain frm({model, trap.trap, timer, socket, dialogs});

        QString proposed;
        korvo::test::whenSettingsOpen([&](korvo::settings::FrmSet& w) {
            proposed = w.ipText();
            QTest::mouseClick(w.widgets().cmdLOAD, Qt::LeftButton);
            w.widgets().txtIP->setFocus();
            w.widgets().txtIP->selectAll();
            QTest::keyClicks(w.widgets().txtIP, QStringLiteral("010001002"));
            QTest::mouseClick(w.widgets().cmdOK, Qt::LeftButton);
        });
        frm.Form_Initialize();
        frm.Form_Load();
        QCOMPARE(proposed, QStringLiteral("192.168.000"));
        QCOMPARE(model.BROADCAST_IP, QStringLiteral("10.1.2.255"));
        frm.show();
        QVERIFY(QTest::qWaitForWindowExposed(&frm));

        auto pressS = [&] { QTest::keyClick(frm.windowHandle(), Qt::Key_S); };
        pressS();                       // start
        QVERIFY(timer.fire());          // 00:02
        QVERIFY(timer.fire(1));         // late: two seconds at once, the period ends
        pressS();                       // still counted as running, so this pauses
        QTest::mouseClick(frm.ui().cmdNEXTPERIOD, Qt::LeftButton); // asks: 1 minute 5 seconds
        QTest::mouseClick(frm.ui().cmd10DW, Qt::LeftButton);
        pressS();
        QVERIFY(timer.fire());
        pressS();
        korvo::test::chooseFromNextPopup(QStringLiteral("Yes Reset time"));
        QTest::mouseClick(frm.ui().cmdRESET, Qt::LeftButton);
        QTest::mouseClick(frm.ui().cmdPREVPERIOD, Qt::LeftButton);
        QTest::mouseClick(frm.ui().cmdPREVPERIOD, Qt::LeftButton); // at the first period: nothing

        QVERIFY(trap.reporter.texts.isEmpty());
        QCOMPARE(trap.end.count, 0);
        const QStringList expected{
            QStringLiteral("192.168.0.255 p1t00:03"), // the load-time host, 192.168.000.255
            QStringLiteral("10.1.2.255 p1t00:02"),
            QStringLiteral("10.1.2.255 p1t00:00"),
            QStringLiteral("10.1.2.255 pause"),
            QStringLiteral("10.1.2.255 p2t01:05"),
            QStringLiteral("10.1.2.255 p2t00:55"),
            QStringLiteral("10.1.2.255 p2t00:54"),
            QStringLiteral("10.1.2.255 pause"),
            QStringLiteral("10.1.2.255 p2t01:05"),
            QStringLiteral("10.1.2.255 p1t00:03"),
        };
        QCOMPARE(receiveAll(receiver, expected.size()), expected);
    }
};

/// Outside: makes the namespace and runs the game in it.
class TestBroadcastInNamespace : public QObject
{
    Q_OBJECT

private slots:
    void scriptedGameInNamespace()
    {
        const QString unshare = QStandardPaths::findExecutable(QStringLiteral("unshare"));
        QString ip = QStandardPaths::findExecutable(QStringLiteral("ip"));
        if (ip.isEmpty())
            ip = QStandardPaths::findExecutable(QStringLiteral("ip"),
                                                {QStringLiteral("/usr/sbin"), QStringLiteral("/sbin")});
        if (unshare.isEmpty() || ip.isEmpty())
            QSKIP("needs unshare and ip to make a private network namespace");
        const QStringList flags = ::geteuid() == 0 ? QStringList{QStringLiteral("-n")}
                                                   : QStringList{QStringLiteral("-r"), QStringLiteral("-n")};
        {
            QProcess probe;
            probe.start(unshare, flags + QStringList{QStringLiteral("true")});
            if (!probe.waitForFinished(10000) || probe.exitStatus() != QProcess::NormalExit || probe.exitCode() != 0)
                QSKIP(qPrintable(QStringLiteral("cannot make a network namespace here: ")
                                 + QString::fromLocal8Bit(probe.readAllStandardError()).trimmed()));
        }
        // Exit code 77 from the set-up: the namespace exists but virtual links cannot be made in it.
        const QString script = QStringLiteral(R"(PATH="$PATH:/usr/sbin:/sbin"
set -e
ip link set lo up
ip link add kt0 type veth peer name kt1 || exit 77
ip addr add 192.168.0.1/24 brd + dev kt0
ip link set kt0 up
ip link set kt1 up
ip link add kt2 type veth peer name kt3 || exit 77
ip addr add 10.1.2.3/24 brd + dev kt2
ip link set kt2 up
ip link set kt3 up
for _ in $(seq 50); do
  ip -4 route get 10.1.2.255 >/dev/null 2>&1 && ip -4 route get 192.168.0.255 >/dev/null 2>&1 && break
  sleep 0.02
done
exec "$@"
)");
        QProcess child;
        child.setProcessChannelMode(QProcess::MergedChannels);
        child.start(unshare, flags
                                 + QStringList{QStringLiteral("sh"), QStringLiteral("-c"), script, QStringLiteral("sh"),
                                               QCoreApplication::applicationFilePath(),
                                               QStringLiteral("--netns-child")});
        QVERIFY(child.waitForFinished(60000));
        const QString output = QString::fromLocal8Bit(child.readAll());
        if (child.exitStatus() == QProcess::NormalExit && child.exitCode() == 77)
            QSKIP(qPrintable(QStringLiteral("cannot make veth links in a network namespace: ") + output.trimmed()));
        qInfo().noquote() << output.trimmed();
        QCOMPARE(child.exitStatus(), QProcess::NormalExit);
        QCOMPARE(child.exitCode(), 0);
        QVERIFY2(output.contains(QLatin1String(" passed, 0 failed, 0 skipped")), "the namespace run did not report");
    }
};

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QTEST_SET_MAIN_SOURCE_PATH
    QStringList args = app.arguments();
    if (args.size() >= 2 && args.at(1) == QLatin1String("--netns-child")) {
        args.remove(1);
        GameInNamespace game;
        return QTest::qExec(&game, args);
    }
    TestBroadcastInNamespace outside;
    return QTest::qExec(&outside, args);
}

#include "tst_broadcast_netns.moc"
