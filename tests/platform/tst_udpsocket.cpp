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
        int raised = 0;
        try {
            socket.setProtocol(protocol);
            // A host is remembered as given and judged at the send.
            socket.setRemoteHost(host);
            socket.setRemotePort(port);
            socket.sendData(text);
        } catch (const RuntimeError& e) {
            QVERIFY(!e.description().isEmpty());
            raised = e.number();
        }
        QCOMPARE(raised, number);
    }
};

QTEST_GUILESS_MAIN(TestUdpSocket)
#include "tst_udpsocket.moc"
