#include "errors/RuntimeError.h"
#include "platform/UdpSocket.h"

#include <QNetworkDatagram>
#include <QTest>
#include <QUdpSocket>

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

/// Loopback only, nothing leaves the machine. Broadcasts in a network namespace: tests/clock/tst_broadcast_netns.
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
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("number");
        const int invalid = socketerr::InvalidPropertyValue;
        const QString pause = QStringLiteral("pause");
        QTest::newRow("protocol 0") << 0 << "127.0.0.1" << 7699 << pause << invalid;
        QTest::newRow("port -1") << 1 << "127.0.0.1" << -1 << pause << invalid;
        QTest::newRow("port 65536") << 1 << "127.0.0.1" << 65536 << pause << invalid;
        QTest::newRow("letters, at send") << 1 << "a.b.c.d" << 7699 << pause << int{socketerr::HostNotFound};
        QTest::newRow("no port, at send") << 1 << "127.0.0.1" << 0 << pause << int{socketerr::AddressNotAvailable};
        // The system refuses the send itself.
        QTest::newRow("70,000 bytes") << 1 << "127.0.0.1" << 9 << QString(70000, 'x') << int{socketerr::MessageTooLong};
    }

    void badSettingsRaise()
    {
        QFETCH(int, protocol);
        QFETCH(QString, host);
        QFETCH(int, port);
        QFETCH(QString, text);
        QFETCH(int, number);
        UdpSocket socket;
        // A host is remembered as given and judged at the send.
        QCOMPARE(raisedNumber([&] { sendAll(socket, host, port, {text}, protocol); }), number);
    }
};

QTEST_GUILESS_MAIN(TestUdpSocket)
#include "tst_udpsocket.moc"
