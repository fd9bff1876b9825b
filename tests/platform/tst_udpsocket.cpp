#include "errors/RuntimeError.h"
#include "platform/UdpSocket.h"

#include <QCoreApplication>
#include <QNetworkDatagram>
#include <QProcess>
#include <QStandardPaths>
#include <QTest>
#include <QUdpSocket>

#include <unistd.h>

using korvo::errors::RuntimeError;
using korvo::platform::UdpSocket;
using korvo::platform::parseDottedDecimal;
namespace socketerr = korvo::platform::socketerr;

namespace {

constexpr quint16 kPort = 7699;

/// Runs `step` and returns the number of the RuntimeError it raised, or 0 if it raised none.
template <class Step>
std::int32_t raisedNumber(Step step, QString* description = nullptr)
{
    try {
        step();
    } catch (const RuntimeError& e) {
        if (description != nullptr)
            *description = e.description();
        return e.number();
    }
    return 0;
}

/// Every datagram that arrives within `ms`, in order.
QList<QByteArray> receiveAll(QUdpSocket& receiver, int expected, int ms = 2000)
{
    QList<QByteArray> got;
    QDeadlineTimer deadline(ms);
    while (got.size() < expected && !deadline.hasExpired()) {
        while (receiver.hasPendingDatagrams())
            got.append(receiver.receiveDatagram().data());
        if (got.size() < expected)
            receiver.waitForReadyRead(static_cast<int>(std::max<qint64>(deadline.remainingTime(), 1)));
    }
    // Anything extra that is already on its way would mean more than one datagram per send.
    QTest::qWait(50);
    while (receiver.hasPendingDatagrams())
        got.append(receiver.receiveDatagram().data());
    return got;
}

bool runIp(const QStringList& args)
{
    QProcess ip;
    ip.start(QStringLiteral("ip"), args);
    return ip.waitForFinished(5000) && ip.exitStatus() == QProcess::NormalExit && ip.exitCode() == 0;
}

} // namespace

/// Runs in the main test process: loopback only, nothing leaves the machine.
class TestUdpSocket : public QObject
{
    Q_OBJECT

private slots:
    void parsesDottedDecimal_data();
    void parsesDottedDecimal();
    void findsDefaultRouteInterface_data();
    void findsDefaultRouteInterface();
    void sendsExactBytesOnePerSend();
    void invalidSettingsRaise();
    void unusableHostRaisesAtSend_data();
    void unusableHostRaisesAtSend();
    void localIpIsDottedQuad();
    void broadcastInNamespace();
    void noRouteInNamespace();

private:
    void runInNamespace(const QString& scenario);
};

void TestUdpSocket::parsesDottedDecimal_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expected"); // "" when the text is not an address

    QTest::newRow("load-time host") << "192.168.000.255" << "192.168.0.255";
    QTest::newRow("leading zero is not octal") << "010.000.000.001" << "10.0.0.1";
    QTest::newRow("loopback with zeros") << "127.000.000.001" << "127.0.0.1";
    QTest::newRow("008 and 009 are decimal") << "008.009.010.011" << "8.9.10.11";
    QTest::newRow("plain") << "192.168.0.255" << "192.168.0.255";
    QTest::newRow("long zero run") << "0000000255.0.0.1" << "255.0.0.1";
    QTest::newRow("all zero") << "0.0.0.0" << "0.0.0.0";
    QTest::newRow("limited broadcast") << "255.255.255.255" << "255.255.255.255";
    QTest::newRow("three fields") << "1.2.3" << "";
    QTest::newRow("five fields") << "1.2.3.4.5" << "";
    QTest::newRow("field above 255") << "256.0.0.1" << "";
    QTest::newRow("field far above 255") << "1.2.3.99999999999" << "";
    QTest::newRow("letters") << "a.b.c.d" << "";
    QTest::newRow("name") << "localhost" << "";
    QTest::newRow("empty") << "" << "";
    QTest::newRow("empty field") << "1..2.3" << "";
    QTest::newRow("trailing dot") << "1.2.3.4." << "";
    QTest::newRow("blank") << " 1.2.3.4" << "";
    QTest::newRow("sign") << "+1.2.3.4" << "";
    QTest::newRow("minus") << "1.2.3.-4" << "";
    QTest::newRow("hex") << "0x7f.0.0.1" << "";
    QTest::newRow("non-ASCII digits") << QString::fromUtf8("\u0661.\u0662.\u0663.\u0664") << "";
}

void TestUdpSocket::parsesDottedDecimal()
{
    QFETCH(QString, text);
    QFETCH(QString, expected);
    const auto address = parseDottedDecimal(text);
    QCOMPARE(address.has_value(), !expected.isEmpty());
    if (address)
        QCOMPARE(address->toString(), expected);
}

void TestUdpSocket::findsDefaultRouteInterface_data()
{
    const QByteArray header = "Iface\tDestination\tGateway \tFlags\tRefCnt\tUse\tMetric\tMask\t\tMTU\tWindow\tIRTT\n";
    QTest::addColumn<QByteArray>("routes");
    QTest::addColumn<QString>("expected");

    QTest::newRow("no routes") << header << "";
    QTest::newRow("subnet only") << header + "kt0\t0000A8C0\t00000000\t0001\t0\t0\t0\t00FFFFFF\t0\t0\t0\n"
                                 << "";
    QTest::newRow("default route")
        << header + "lan0\t0000A8C0\t00000000\t0001\t0\t0\t0\t00FFFFFF\t0\t0\t0\n"
                    "wan0\t00000000\t0101A8C0\t0003\t0\t0\t100\t00000000\t0\t0\t0\n"
        << "wan0";
    QTest::newRow("lowest metric wins")
        << header + "wlan0\t00000000\t0101A8C0\t0003\t0\t0\t600\t00000000\t0\t0\t0\n"
                    "eth0\t00000000\t0100000A\t0003\t0\t0\t100\t00000000\t0\t0\t0\n"
        << "eth0";
    QTest::newRow("route not up") << header + "eth0\t00000000\t0100000A\t0002\t0\t0\t0\t00000000\t0\t0\t0\n"
                                  << "";
    QTest::newRow("header only counts once") << QByteArray("eth0\t00000000\t0\t0003\t0\t0\t0\t00000000\n") << "";
}

void TestUdpSocket::findsDefaultRouteInterface()
{
    QFETCH(QByteArray, routes);
    QFETCH(QString, expected);
    QCOMPARE(korvo::platform::defaultRouteInterface(routes), expected);
}

void TestUdpSocket::sendsExactBytesOnePerSend()
{
    QUdpSocket receiver;
    QVERIFY(receiver.bind(QHostAddress(QHostAddress::LocalHost), 0));

    UdpSocket socket;
    socket.setProtocol(UdpSocket::kUdp);
    socket.setRemoteHost(QStringLiteral("127.000.000.001"));
    socket.setRemotePort(receiver.localPort());
    socket.sendData(QStringLiteral("p1t10:00"));
    socket.sendData(QStringLiteral("pause"));
    socket.sendData(QStringLiteral("p12t04:05"));

    const QList<QByteArray> got = receiveAll(receiver, 3);
    QCOMPARE(got, (QList<QByteArray>{"p1t10:00", "pause", "p12t04:05"}));
}

void TestUdpSocket::invalidSettingsRaise()
{
    UdpSocket socket;
    QCOMPARE(raisedNumber([&] { socket.setProtocol(0); }), socketerr::InvalidPropertyValue);
    QCOMPARE(raisedNumber([&] { socket.setProtocol(2); }), socketerr::InvalidPropertyValue);
    QCOMPARE(raisedNumber([&] { socket.setProtocol(1); }), 0);

    socket.setRemotePort(7699);
    QCOMPARE(raisedNumber([&] { socket.setRemotePort(-1); }), socketerr::InvalidPropertyValue);
    QCOMPARE(raisedNumber([&] { socket.setRemotePort(65536); }), socketerr::InvalidPropertyValue);
    QCOMPARE(socket.remotePort(), quint16{7699});
}

void TestUdpSocket::unusableHostRaisesAtSend_data()
{
    QTest::addColumn<QString>("host");
    QTest::addColumn<int>("port");
    QTest::addColumn<int>("number");

    QTest::newRow("letters") << "a.b.c.d" << 7699 << int{socketerr::HostNotFound};
    QTest::newRow("three fields") << "1.2.3" << 7699 << int{socketerr::HostNotFound};
    QTest::newRow("never set") << QString() << 7699 << int{socketerr::HostNotFound};
    QTest::newRow("no port") << "127.0.0.1" << 0 << int{socketerr::AddressNotAvailable};
}

void TestUdpSocket::unusableHostRaisesAtSend()
{
    QFETCH(QString, host);
    QFETCH(int, port);
    QFETCH(int, number);

    UdpSocket socket;
    socket.setProtocol(UdpSocket::kUdp);
    if (!host.isNull())
        socket.setRemoteHost(host); // remembered, not judged yet
    socket.setRemotePort(port);
    QString description;
    QCOMPARE(raisedNumber([&] { socket.sendData(QStringLiteral("pause")); }, &description), number);
    QVERIFY(!description.isEmpty());
}

void TestUdpSocket::localIpIsDottedQuad()
{
    const UdpSocket socket;
    const QString ip = socket.localIp();
    QCOMPARE(ip.split(QLatin1Char('.')).size(), 4);
    QVERIFY2(parseDottedDecimal(ip).has_value(), qPrintable(ip));
}

void TestUdpSocket::broadcastInNamespace()
{
    runInNamespace(QStringLiteral("veth"));
}

void TestUdpSocket::noRouteInNamespace()
{
    runInNamespace(QStringLiteral("lo"));
}

// Re-runs this executable inside a private network namespace, where sending beyond loopback is safe:
// "veth" gets loopback plus two veth pairs (192.168.0.1/24 and 10.1.2.3/24), "lo" loopback only.
void TestUdpSocket::runInNamespace(const QString& scenario)
{
    const QStringList sbin{QStringLiteral("/usr/sbin"), QStringLiteral("/sbin")};
    const QString unshare = QStandardPaths::findExecutable(QStringLiteral("unshare"));
    QString ip = QStandardPaths::findExecutable(QStringLiteral("ip"));
    if (ip.isEmpty())
        ip = QStandardPaths::findExecutable(QStringLiteral("ip"), sbin);
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

    // Exit code 77 from the set-up means the namespace exists but virtual links cannot be made.
    const QString script = QStringLiteral(R"(PATH="$PATH:/usr/sbin:/sbin"
set -e
ip link set lo up
if [ "$1" = veth ]; then
  ip link add kt0 type veth peer name kt1 || exit 77
  ip addr add 192.168.0.1/24 brd + dev kt0
  ip link set kt0 up
  ip link set kt1 up
  ip link add kt2 type veth peer name kt3 || exit 77
  ip addr add 10.1.2.3/24 brd + dev kt2
  ip link set kt2 up
  ip link set kt3 up
  for _ in $(seq 50); do ip -4 route get 192.168.0.255 >/dev/null 2>&1 && break; sleep 0.02; done
fi
shift
exec "$@"
)");
    QProcess child;
    child.setProcessChannelMode(QProcess::MergedChannels);
    child.start(unshare, flags + QStringList{QStringLiteral("sh"), QStringLiteral("-c"), script, QStringLiteral("sh"),
                                             scenario, QCoreApplication::applicationFilePath(),
                                             QStringLiteral("--netns-child"), scenario});
    QVERIFY(child.waitForFinished(60000));
    const QString output = QString::fromLocal8Bit(child.readAll());
    if (child.exitStatus() == QProcess::NormalExit && child.exitCode() == 77)
        QSKIP(qPrintable(QStringLiteral("cannot make veth links in a network namespace: ") + output.trimmed()));
    qInfo().noquote() << output.trimmed();
    QCOMPARE(child.exitStatus(), QProcess::NormalExit);
    QCOMPARE(child.exitCode(), 0);
    QVERIFY2(output.contains(QLatin1String(" passed, 0 failed, 0 skipped")), "the namespace run did not report");
}

/// Runs inside the namespace with the veth links.
class VethChild : public QObject
{
    Q_OBJECT

private slots:
    void broadcastIsReceived_data()
    {
        QTest::addColumn<QString>("host");
        QTest::newRow("with leading zeros") << "192.168.000.255";
        QTest::newRow("plain") << "192.168.0.255";
    }

    void broadcastIsReceived()
    {
        QFETCH(QString, host);
        QUdpSocket receiver;
        QVERIFY(receiver.bind(QHostAddress(QHostAddress::AnyIPv4), kPort));

        UdpSocket socket;
        socket.setProtocol(UdpSocket::kUdp);
        socket.setRemoteHost(host);
        socket.setRemotePort(kPort);
        socket.sendData(QStringLiteral("p1t10:00"));
        socket.sendData(QStringLiteral("pause"));
        QCOMPARE(receiveAll(receiver, 2), (QList<QByteArray>{"p1t10:00", "pause"}));
    }

    void localIpFollowsDefaultRoute()
    {
        const UdpSocket socket;
        // No default route: the first interface that is up with an IPv4 address.
        QCOMPARE(socket.localIp(), QStringLiteral("192.168.0.1"));

        QVERIFY(runIp({QStringLiteral("route"), QStringLiteral("add"), QStringLiteral("default"), QStringLiteral("dev"),
                       QStringLiteral("kt2")}));
        const QString viaKt2 = socket.localIp();
        QVERIFY(runIp({QStringLiteral("route"), QStringLiteral("del"), QStringLiteral("default")}));
        QCOMPARE(viaKt2, QStringLiteral("10.1.2.3"));

        QVERIFY(runIp({QStringLiteral("route"), QStringLiteral("add"), QStringLiteral("default"), QStringLiteral("dev"),
                       QStringLiteral("kt0")}));
        const QString viaKt0 = socket.localIp();
        QVERIFY(runIp({QStringLiteral("route"), QStringLiteral("del"), QStringLiteral("default")}));
        QCOMPARE(viaKt0, QStringLiteral("192.168.0.1"));
    }
};

/// Runs inside the namespace that has loopback only.
class LoopbackOnlyChild : public QObject
{
    Q_OBJECT

private slots:
    void sendWithoutRouteRaisesAndSocketStaysUsable()
    {
        UdpSocket socket;
        socket.setProtocol(UdpSocket::kUdp);
        socket.setRemoteHost(QStringLiteral("192.168.000.255"));
        socket.setRemotePort(kPort);
        QString description;
        QCOMPARE(raisedNumber([&] { socket.sendData(QStringLiteral("p1t10:00")); }, &description),
                 socketerr::NetworkUnreachable);
        qInfo().noquote() << "error text:" << description;
        QVERIFY(!description.isEmpty());

        QUdpSocket receiver;
        QVERIFY(receiver.bind(QHostAddress(QHostAddress::LocalHost), 0));
        socket.setRemoteHost(QStringLiteral("127.0.0.1"));
        socket.setRemotePort(receiver.localPort());
        socket.sendData(QStringLiteral("pause"));
        QCOMPARE(receiveAll(receiver, 1), QList<QByteArray>{"pause"});
    }

    void localIpFallsBackToLoopback() { QCOMPARE(UdpSocket().localIp(), QStringLiteral("127.0.0.1")); }
};

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QTEST_SET_MAIN_SOURCE_PATH
    QStringList args = app.arguments();
    if (args.size() >= 3 && args.at(1) == QLatin1String("--netns-child")) {
        const QString scenario = args.at(2);
        args.remove(1, 2);
        if (scenario == QLatin1String("veth")) {
            VethChild tests;
            return QTest::qExec(&tests, args);
        }
        if (scenario == QLatin1String("lo")) {
            LoopbackOnlyChild tests;
            return QTest::qExec(&tests, args);
        }
        return 2;
    }
    TestUdpSocket tests;
    return QTest::qExec(&tests, args);
}

#include "tst_udpsocket.moc"
