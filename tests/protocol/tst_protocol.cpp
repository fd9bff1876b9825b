#include "protocol/DatagramParser.h"
#include "protocol/DottedDecimal.h"

#include <QHostAddress>

#include <QTest>

using namespace korvo::protocol;

namespace {

QString rejected(Rejection why)
{
    return QStringLiteral("rejected %1 (%2)").arg(static_cast<int>(why)).arg(QString::fromUtf8(describe(why)));
}

/// One text per result, so that a row states what it expects in a single column.
QString outcome(const Datagram& datagram)
{
    if (const auto* time = std::get_if<TimeDatagram>(&datagram))
        return QStringLiteral("period %1 %2").arg(time->period).arg(QString::fromStdString(time->clock));
    if (std::holds_alternative<PauseDatagram>(datagram))
        return QStringLiteral("pause");
    return rejected(std::get<RejectedDatagram>(datagram).why);
}

} // namespace

class TestProtocol final : public QObject
{
    Q_OBJECT

private slots:
    void parses_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("expected");

        QTest::newRow("ten minutes") << QByteArray("p1t10:00") << "period 1 10:00";
        QTest::newRow("hundred minutes") << QByteArray("p1t100:00") << "period 1 100:00";
        QTest::newRow("largest period") << QByteArray("p32767t00:59") << "period 32767 00:59";
        QTest::newRow("leading zeros in the period") << QByteArray(40, '0').prepend('p').append("7t01:00") << "period 7 01:00";
        QTest::newRow("largest clock text") << QByteArray("p1t546:59") << "period 1 546:59";
        QTest::newRow("exactly 64 bytes") << QByteArray(56, '0').prepend('p').append("7t01:00") << "period 7 01:00";
        QTest::newRow("pause") << QByteArray("pause") << "pause";

        QTest::newRow("empty") << QByteArray() << rejected(Rejection::Empty);
        QTest::newRow("pause and a space") << QByteArray("pause ") << rejected(Rejection::TrailingBytes);
        QTest::newRow("capital P") << QByteArray("P1t10:00") << rejected(Rejection::UnknownTag);
        QTest::newRow("capital T") << QByteArray("p1T10:00") << rejected(Rejection::MissingClockTag);
        QTest::newRow("period 0") << QByteArray("p0t10:00") << rejected(Rejection::PeriodOutOfRange);
        QTest::newRow("period 32768") << QByteArray("p32768t00:00") << rejected(Rejection::PeriodOutOfRange);
        // A naive accumulator wraps 4294967297 to 1; the range check must see the whole run.
        QTest::newRow("period that wraps 32 bits")
            << QByteArray("p4294967297t00:00") << rejected(Rejection::PeriodOutOfRange);
        QTest::newRow("one-digit minutes") << QByteArray("p1t1:00") << rejected(Rejection::BadMinutes);
        QTest::newRow("four-digit minutes") << QByteArray("p1t1000:00") << rejected(Rejection::BadMinutes);
        QTest::newRow("one-digit seconds") << QByteArray("p1t10:0") << rejected(Rejection::BadSeconds);
        QTest::newRow("seconds 60") << QByteArray("p1t10:60") << rejected(Rejection::BadSeconds);
        QTest::newRow("line end") << QByteArray("p1t10:00\n") << rejected(Rejection::TrailingBytes);
        QTest::newRow("65 bytes")
            << QByteArray("p1t") + QByteArray(59, '1') + QByteArray(":00") << rejected(Rejection::Oversized);
        QTest::newRow("byte 0x80") << QByteArray("p1t10:0\x80") << rejected(Rejection::NonAscii);
    }

    void parses()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, expected);
        QCOMPARE(outcome(parseDatagram({bytes.constData(), static_cast<std::size_t>(bytes.size())})), expected);
    }

    void parsesDottedDecimal_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("expected"); // "" when the text is not an address
        QTest::newRow("load-time host") << "192.168.000.255" << "192.168.0.255";
        QTest::newRow("leading zero is not octal") << "010.000.000.001" << "10.0.0.1";
        QTest::newRow("three fields") << "1.2.3" << "";
        QTest::newRow("field above 255") << "256.0.0.1" << "";
        QTest::newRow("field beyond int") << "1.2.3.99999999999" << "";
        QTest::newRow("sign") << "+1.2.3.4" << "";
        QTest::newRow("hex") << "0x7f.0.0.1" << "";
        QTest::newRow("non-ASCII digits") << QString::fromUtf8("\u0661.\u0662.\u0663.\u0664") << "";
    }

    void parsesDottedDecimal()
    {
        QFETCH(QString, text);
        QFETCH(QString, expected);
        const auto address = parseDottedDecimal(text);
        QCOMPARE(address ? QHostAddress(*address).toString() : QString(), expected);
    }
};

QTEST_GUILESS_MAIN(TestProtocol)
#include "tst_protocol.moc"
