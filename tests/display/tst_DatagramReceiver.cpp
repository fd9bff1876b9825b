#include "LoopbackSender.h"

#include "display/DatagramReceiver.h"
#include "display/SourceAddress.h"

#include <QSignalSpy>
#include <QTest>

using namespace korvo::display;

class TestDatagramReceiver final : public QObject
{
    Q_OBJECT

private slots:
    void twoDisplaysOnOneHostBothReceive();
    void readsEveryDatagramOfABurstInOrder();
    void countsRejectedWithoutPassingThemOn();
    void followsOnlyTheChosenSource();
    void reportsAPortThatCannotBeShared();
    void parsesOperatorAddresses_data();
    void parsesOperatorAddresses();
};

void TestDatagramReceiver::twoDisplaysOnOneHostBothReceive()
{
    const quint16 port = freeUdpPort();
    DatagramReceiver first({port, QHostAddress::AnyIPv4, std::nullopt});
    DatagramReceiver second({port, QHostAddress::AnyIPv4, std::nullopt});
    QVERIFY2(first.listen(), qPrintable(first.errorString()));
    QVERIFY2(second.listen(), qPrintable(second.errorString()));
    QSignalSpy firstTimes(&first, &DatagramReceiver::timeReceived);
    QSignalSpy secondTimes(&second, &DatagramReceiver::timeReceived);

    LoopbackSender clock;
    QVERIFY(clock.send("p2t11:30", port, kLoopbackBroadcast));

    QTRY_COMPARE(firstTimes.size(), 1);
    QTRY_COMPARE(secondTimes.size(), 1);
    for (QSignalSpy* spy : {&firstTimes, &secondTimes}) {
        const auto time = spy->at(0).at(0).value<TimeDatagram>();
        QCOMPARE(time.period, 2);
        QCOMPARE(time.clock, std::string("11:30"));
        QCOMPARE(spy->at(0).at(1).value<QHostAddress>(), QHostAddress(QHostAddress::LocalHost));
    }
}

void TestDatagramReceiver::readsEveryDatagramOfABurstInOrder()
{
    const quint16 port = freeUdpPort();
    DatagramReceiver receiver({port, QHostAddress::LocalHost, std::nullopt});
    QVERIFY(receiver.listen());
    QSignalSpy times(&receiver, &DatagramReceiver::timeReceived);

    // All queued before the event loop runs.
    LoopbackSender clock;
    for (int s = 59; s >= 30; --s)
        QVERIFY(clock.send(QByteArray("p1t00:") + QByteArray::number(s), port));

    QTRY_COMPARE(times.size(), 30);
    for (int i = 0; i < 30; ++i)
        QCOMPARE(times.at(i).at(0).value<TimeDatagram>().clock, "00:" + std::to_string(59 - i));
    QCOMPARE(receiver.acceptedCount(), 30);
}

void TestDatagramReceiver::countsRejectedWithoutPassingThemOn()
{
    const quint16 port = freeUdpPort();
    DatagramReceiver receiver({port, QHostAddress::LocalHost, std::nullopt});
    QVERIFY(receiver.listen());
    QSignalSpy times(&receiver, &DatagramReceiver::timeReceived);
    QSignalSpy pauses(&receiver, &DatagramReceiver::pauseReceived);
    QSignalSpy rejected(&receiver, &DatagramReceiver::datagramRejected);

    LoopbackSender clock;
    QVERIFY(clock.send("p0t10:00", port));
    QVERIFY(clock.send("pause ", port));
    QVERIFY(clock.send(QByteArray(1000, 'p'), port));
    QVERIFY(clock.send("pause", port));

    QTRY_COMPARE(pauses.size(), 1);
    QTRY_COMPARE(rejected.size(), 3);
    QCOMPARE(times.size(), 0);
    QCOMPARE(receiver.rejectedCount(), 3);
    QCOMPARE(receiver.acceptedCount(), 1);
    QCOMPARE(rejected.at(0).at(0).value<Rejection>(), Rejection::PeriodOutOfRange);
    QCOMPARE(rejected.at(2).at(0).value<Rejection>(), Rejection::Oversized);
    QCOMPARE(rejected.at(2).at(1).toByteArray().size(), 1000);
}

void TestDatagramReceiver::followsOnlyTheChosenSource()
{
    const quint16 port = freeUdpPort();
    DatagramReceiver receiver({port, QHostAddress::AnyIPv4, QHostAddress(QStringLiteral("127.0.0.2"))});
    QVERIFY(receiver.listen());
    QSignalSpy times(&receiver, &DatagramReceiver::timeReceived);
    QSignalSpy ignored(&receiver, &DatagramReceiver::datagramIgnored);

    LoopbackSender otherClock(QHostAddress(QStringLiteral("127.0.0.1")));
    LoopbackSender chosenClock(QHostAddress(QStringLiteral("127.0.0.2")));
    QVERIFY(otherClock.isBound());
    QVERIFY(chosenClock.isBound());
    QVERIFY(otherClock.send("p1t01:00", port));
    QVERIFY(chosenClock.send("p2t02:00", port));
    QVERIFY(otherClock.send("p1t01:01", port));

    QTRY_COMPARE(ignored.size(), 2);
    QTRY_COMPARE(times.size(), 1);
    QCOMPARE(times.at(0).at(0).value<TimeDatagram>().clock, std::string("02:00"));
    QCOMPARE(receiver.ignoredCount(), 2);
    QCOMPARE(receiver.rejectedCount(), 0);
}

void TestDatagramReceiver::reportsAPortThatCannotBeShared()
{
    QUdpSocket squatter;
    QVERIFY(squatter.bind(QHostAddress::AnyIPv4, 0, QAbstractSocket::DontShareAddress));
    DatagramReceiver receiver({squatter.localPort(), QHostAddress::AnyIPv4, std::nullopt});
    QVERIFY(!receiver.listen());
    QVERIFY(!receiver.errorString().isEmpty());
}

void TestDatagramReceiver::parsesOperatorAddresses_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("address"); // empty: refused

    QTest::newRow("plain") << "192.168.0.10" << "192.168.0.10";
    QTest::newRow("zero-padded parts are decimal, not octal") << "192.168.000.010" << "192.168.0.10";
    QTest::newRow("surrounding blanks") << " 10.1.2.3 " << "10.1.2.3";
    QTest::newRow("part over 255") << "192.168.0.256" << "";
    QTest::newRow("three parts") << "192.168.0" << "";
    QTest::newRow("five parts") << "1.2.3.4.5" << "";
    QTest::newRow("empty part") << "192..0.1" << "";
    QTest::newRow("hexadecimal") << "0x7f.0.0.1" << "";
    QTest::newRow("four-digit part") << "0192.168.0.1" << "";
    QTest::newRow("sign") << "+1.2.3.4" << "";
    QTest::newRow("host name") << "scoreboard.local" << "";
    QTest::newRow("IPv6") << "::1" << "";
}

void TestDatagramReceiver::parsesOperatorAddresses()
{
    QFETCH(QString, text);
    QFETCH(QString, address);

    const std::optional<QHostAddress> parsed = parseIPv4(text);
    QCOMPARE(parsed ? parsed->toString() : QString(), address);
}

QTEST_GUILESS_MAIN(TestDatagramReceiver)
#include "tst_DatagramReceiver.moc"
