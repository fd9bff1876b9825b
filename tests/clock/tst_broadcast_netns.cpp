// The datagrams of a short scripted game, byte for byte and with their destinations, as a display on the
// network receives them. The clock sends to broadcast addresses, so the game is played inside a private
// network namespace that this test makes for itself (the executable runs itself again in it).

#include "support/ClockRig.h"

#include <QProcess>

#include <unistd.h>

using korvo::model::COUNT_DOWN;

/// Runs inside the namespace: loopback, 192.168.0.1/24 on kt0 and 10.1.2.3/24 on kt2, the default route
/// through kt2.
class GameInNamespace : public QObject
{
    Q_OBJECT

private slots:
    void scriptedGame()
    {
        QUdpSocket receiver;
        QVERIFY(receiver.bind(QHostAddress(QHostAddress::AnyIPv4), 7699, QUdpSocket::ShareAddress));
        korvo::test::Clock<korvo::platform::UdpSocket> c;
        // The network proposed is that of the interface holding the default route, not the first one.
        c.frmSet->Form_Load();
        QCOMPARE(c.frmSet->ipText(), QStringLiteral("010.001.002"));
        c.load({3, -1}, COUNT_DOWN, QStringLiteral("10.1.2.255"));
        // Start; a tick, then a late one that ends the period; S pauses; Next asks 1:05; a correction; start,
        // a tick, pause; Reset; Previous, and Previous again at the first period.
        korvo::test::play(c, QStringLiteral("S t t1 S =1 =5 N -10 S t S Y P P"));
        QVERIFY(c.trap.reporter.texts.isEmpty());
        const QStringList expected{"192.168.0.255 p1t00:03", // the load-time host, 192.168.000.255
                                   "10.1.2.255 p1t00:02", "10.1.2.255 p1t00:00", "10.1.2.255 pause",
                                   "10.1.2.255 p2t01:05", "10.1.2.255 p2t00:55", "10.1.2.255 p2t00:54",
                                   "10.1.2.255 pause", "10.1.2.255 p2t01:05", "10.1.2.255 p1t00:03"};
        QStringList received; // and anything more would be a datagram too many
        while (receiver.hasPendingDatagrams() || receiver.waitForReadyRead(received.size() < expected.size() ? 2000 : 200)) {
            const QNetworkDatagram d = receiver.receiveDatagram();
            received.append(d.destinationAddress().toString() + QLatin1Char(' ') + QString::fromLatin1(d.data()));
        }
        QCOMPARE(received, expected);
    }
};

/// Outside: makes the namespace and runs the game in it.
class TestBroadcastInNamespace : public QObject
{
    Q_OBJECT

private slots:
    void scriptedGameInNamespace()
    {
        const QStringList unshare{::geteuid() == 0 ? "-n" : "-rn"};
        if (QProcess::execute(QStringLiteral("unshare"), unshare + QStringList{"true"}) != 0)
            QSKIP("cannot make a network namespace here: unshare is missing or refused (see its message above)");
        // Exit code 77 from the set-up: the namespace exists but virtual links cannot be made in it.
        const QString setUp = QStringLiteral(R"(PATH="$PATH:/usr/sbin:/sbin"
ip link set lo up && ip link add kt0 type veth peer name kt1 && ip link add kt2 type veth peer name kt3 || exit 77
ip addr add 192.168.0.1/24 brd + dev kt0 && ip addr add 10.1.2.3/24 brd + dev kt2 || exit 77
for l in kt0 kt1 kt2 kt3; do ip link set $l up || exit 77; done
for _ in $(seq 50); do ip -4 route get 10.1.2.255 && ip -4 route get 192.168.0.255 && break; sleep 0.02; done >/dev/null 2>&1
ip route add default via 10.1.2.1 dev kt2 || exit 77
exec "$@")");
        QProcess child;
        child.setProcessChannelMode(QProcess::MergedChannels);
        child.start(QStringLiteral("unshare"), unshare + QStringList{"sh", "-c", setUp, "sh",
                                                  QCoreApplication::applicationFilePath(), "--netns-child"});
        QVERIFY(child.waitForFinished(60000));
        const QString output = QString::fromLocal8Bit(child.readAll()).trimmed();
        if (child.exitStatus() == QProcess::NormalExit && child.exitCode() == 77)
            QSKIP(qPrintable("cannot make veth links in a network namespace: " + output));
        qInfo().noquote() << output;
        QCOMPARE(child.exitCode(), 0);
        QVERIFY2(output.contains(QLatin1String(" passed, 0 failed, 0 skipped")), "the namespace run did not report");
    }
};

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QStringList args = app.arguments();
    const bool inside = args.removeAll(QStringLiteral("--netns-child")) > 0;
    GameInNamespace game;
    TestBroadcastInNamespace outside;
    return QTest::qExec(inside ? static_cast<QObject*>(&game) : &outside, args);
}

#include "tst_broadcast_netns.moc"
