#include "errors/RuntimeError.h"
#include "platform/UdpSocket.h"

#include <QCoreApplication>
#include <QNetworkDatagram>
#include <QProcess>
#include <QTest>
#include <QUdpSocket>

#include <unistd.h>

using korvo::errors::RuntimeError;
using korvo::platform::UdpSocket;
namespace socketerr = korvo::platform::socketerr;

namespace {

/// Runs `step` and returns the number of the RuntimeError it raised (0 if none); its text must not be empty.
template <class Step>
std::int32_t raisedNumber(Step step)
{
    try {
        step();
    } catch (const RuntimeError& e) {
        return e.description().isEmpty() ? -1 : e.number();
    }
    return 0;
}

/// Every datagram that arrives until none has come for 200 ms.
QList<QByteArray> receiveAll(QUdpSocket& receiver)
{
    QList<QByteArray> got;
    while (receiver.waitForReadyRead(200)) {
        while (receiver.hasPendingDatagrams())
            got.append(receiver.receiveDatagram().data());
    }
    return got;
}

/// Sets UDP, host and port, then sends each text; a RuntimeError propagates.
void sendAll(UdpSocket& socket, const QString& host, int port, const QStringList& texts, int protocol = UdpSocket::kUdp)
{
    socket.setProtocol(protocol);
    socket.setRemoteHost(host);
    socket.setRemotePort(port);
    for (const QString& text : texts)
        socket.sendData(text);
}

} // namespace

/// Runs in the main test process: loopback only, nothing leaves the machine.
class TestUdpSocket : public QObject
{
    Q_OBJECT

private slots:
    void sendsExactBytesOnePerSend()
    {
        QUdpSocket receiver;
        // Read as octal, the host would be 127.0.0.8, where nobody listens.
        QVERIFY(receiver.bind(QHostAddress(QStringLiteral("127.0.0.10")), 0));
        UdpSocket socket;
        sendAll(socket, QStringLiteral("127.000.000.010"), receiver.localPort(), {"p1t10:00", "pause", "p12t04:05"});
        QCOMPARE(receiveAll(receiver), (QList<QByteArray>{"p1t10:00", "pause", "p12t04:05"}));
    }

    void badSettingsRaise_data()
    {
        QTest::addColumn<int>("protocol");
        QTest::addColumn<QString>("host");
        QTest::addColumn<int>("port");
        QTest::addColumn<int>("number");
        const int invalid = socketerr::InvalidPropertyValue;
        QTest::newRow("protocol 0") << 0 << "127.0.0.1" << 7699 << invalid;
        QTest::newRow("port -1") << 1 << "127.0.0.1" << -1 << invalid;
        QTest::newRow("port 65536") << 1 << "127.0.0.1" << 65536 << invalid;
        QTest::newRow("letters, at send") << 1 << "a.b.c.d" << 7699 << int{socketerr::HostNotFound};
        QTest::newRow("no port, at send") << 1 << "127.0.0.1" << 0 << int{socketerr::AddressNotAvailable};
    }

    void badSettingsRaise()
    {
        QFETCH(int, protocol);
        QFETCH(QString, host);
        QFETCH(int, port);
        QFETCH(int, number);
        UdpSocket socket;
        // A host is remembered as given and judged at the send.
        QCOMPARE(raisedNumber([&] { sendAll(socket, host, port, {"pause"}, protocol); }), number);
    }

    // Re-runs this executable inside a private network namespace with loopback and a veth pair
    // (192.168.0.1/24), where sending beyond loopback is safe.
    void inNamespace()
    {
        // The script exits with 77 where the namespace has no veth links; without the marker line it never ran.
        const QString script = QStringLiteral(R"(echo namespace made; PATH="$PATH:/usr/sbin:/sbin"
ip link set lo up && ip link add kt0 type veth peer name kt1 || exit 77
ip addr add 192.168.0.1/24 brd + dev kt0 && ip link set kt0 up && ip link set kt1 up || exit 1
for _ in $(seq 50); do ip -4 route get 192.168.0.255 >/dev/null 2>&1 && break; sleep 0.02; done
exec env KORVO_NETNS_CHILD=1 "$@")");
        const QStringList flags = ::geteuid() == 0 ? QStringList{"-n"} : QStringList{"-r", "-n"};
        QProcess child;
        child.setProcessChannelMode(QProcess::MergedChannels);
        child.start(QStringLiteral("unshare"),
                    flags + QStringList{"sh", "-c", script, "sh", QCoreApplication::applicationFilePath()});
        if (!child.waitForStarted())
            QSKIP("needs unshare to make a private network namespace");
        QVERIFY(child.waitForFinished(60000));
        const QString output = QString::fromLocal8Bit(child.readAll()).trimmed();
        if (!output.startsWith(QLatin1String("namespace made")) || child.exitCode() == 77)
            QSKIP(qPrintable("cannot make a network namespace with veth links here: " + output));
        QVERIFY2(child.exitStatus() == QProcess::NormalExit && child.exitCode() == 0, qPrintable(output));
        QVERIFY2(output.contains(QLatin1String(" passed, 0 failed, 0 skipped")), qPrintable(output));
    }
};

/// Runs inside the namespace.
class NamespaceChild : public QObject
{
    Q_OBJECT

private slots:
    void broadcastIsReceivedAfterAFailedSend()
    {
        QUdpSocket receiver;
        QVERIFY(receiver.bind(QHostAddress(QHostAddress::AnyIPv4), 7699));
        UdpSocket socket;
        // No default route here, so nothing outside 192.168.0.0/24 can be reached.
        QCOMPARE(raisedNumber([&] { sendAll(socket, QStringLiteral("10.9.9.9"), 7699, {"p1t10:00"}); }),
                 socketerr::NetworkUnreachable);
        sendAll(socket, QStringLiteral("192.168.000.255"), 7699, {"p1t10:00", "pause"});
        QCOMPARE(receiveAll(receiver), (QList<QByteArray>{"p1t10:00", "pause"}));
        QCOMPARE(socket.localIp(), QStringLiteral("192.168.0.1"));
    }
};

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QTEST_SET_MAIN_SOURCE_PATH
    if (qEnvironmentVariableIsSet("KORVO_NETNS_CHILD")) {
        NamespaceChild tests;
        return QTest::qExec(&tests, argc, argv);
    }
    TestUdpSocket tests;
    return QTest::qExec(&tests, argc, argv);
}

#include "tst_udpsocket.moc"
