#include "errors/RuntimeError.h"
#include "platform/UdpSocket.h"

#include <QTest>

using korvo::errors::RuntimeError;
using korvo::platform::UdpSocket;
namespace socketerr = korvo::platform::socketerr;

/// Loopback only, nothing leaves the machine. The bytes a real socket sends, and to where, are seen in a
/// network namespace: tests/clock (a game on the network) and tests/faults (a network that fails).
class TestUdpSocket : public QObject
{
    Q_OBJECT

private slots:
    void badSettingsRaise_data()
    {
        QTest::addColumn<int>("protocol");
        QTest::addColumn<QString>("host");
        QTest::addColumn<int>("port");
        QTest::addColumn<int>("number");
        const int invalid = socketerr::InvalidPropertyValue;
        QTest::newRow("protocol 0") << 0 << "127.0.0.1" << 7699 << invalid;
        QTest::newRow("port -1") << 1 << "127.0.0.1" << -1 << invalid;
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
        int raised = 0;
        try {
            socket.setProtocol(protocol);
            // A host is remembered as given and judged at the send.
            socket.setRemoteHost(host);
            socket.setRemotePort(port);
            socket.sendData(QStringLiteral("pause"));
        } catch (const RuntimeError& e) {
            QVERIFY(!e.description().isEmpty());
            raised = e.number();
        }
        QCOMPARE(raised, number);
    }
};

QTEST_GUILESS_MAIN(TestUdpSocket)
#include "tst_udpsocket.moc"
