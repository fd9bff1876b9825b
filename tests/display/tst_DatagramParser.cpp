#include "display/DatagramParser.h"
#include "model/TimeMessage.h"

#include <QTest>

#include <string>

using namespace korvo::display;

Q_DECLARE_METATYPE(korvo::display::Rejection)

namespace {

std::string_view view(const QByteArray& bytes)
{
    return {bytes.constData(), static_cast<std::size_t>(bytes.size())};
}

} // namespace

class TestDatagramParser final : public QObject
{
    Q_OBJECT

private slots:
    void acceptsTime_data();
    void acceptsTime();
    void acceptsPause();
    void rejects_data();
    void rejects();
    void readsWhatTheClockSends_data();
    void readsWhatTheClockSends();
};

void TestDatagramParser::acceptsTime_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("period");
    QTest::addColumn<QByteArray>("clock");

    QTest::newRow("ten minutes") << QByteArray("p1t10:00") << 1 << QByteArray("10:00");
    QTest::newRow("two-digit period") << QByteArray("p12t04:05") << 12 << QByteArray("04:05");
    QTest::newRow("hundred minutes") << QByteArray("p1t100:00") << 1 << QByteArray("100:00");
    QTest::newRow("largest period") << QByteArray("p32767t00:00") << 32767 << QByteArray("00:00");
    QTest::newRow("last second of a minute") << QByteArray("p3t00:59") << 3 << QByteArray("00:59");
    QTest::newRow("leading zeros in the period") << QByteArray("p0007t01:00") << 7 << QByteArray("01:00");
    QTest::newRow("a run of zeros before a small period") << QByteArray(40, '0').prepend('p').append("1t00:01") << 1
                                                          << QByteArray("00:01");
    QTest::newRow("exactly 64 bytes") << QByteArray("p1t") + QByteArray(58, '1') + QByteArray(":00") << 1
                                      << QByteArray(58, '1') + QByteArray(":00");
}

void TestDatagramParser::acceptsTime()
{
    QFETCH(QByteArray, bytes);
    QFETCH(int, period);
    QFETCH(QByteArray, clock);

    const Datagram result = parseDatagram(view(bytes));
    const auto* time = std::get_if<TimeDatagram>(&result);
    QVERIFY2(time, "rejected");
    QCOMPARE(time->period, period);
    QCOMPARE(QByteArray::fromStdString(time->clock), clock);
}

void TestDatagramParser::acceptsPause()
{
    QVERIFY(std::holds_alternative<PauseDatagram>(parseDatagram("pause")));
}

void TestDatagramParser::rejects_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<Rejection>("why");

    QTest::newRow("empty") << QByteArray() << Rejection::Empty;
    QTest::newRow("pause and a space") << QByteArray("pause ") << Rejection::TrailingBytes;
    QTest::newRow("pause and a line end") << QByteArray("pause\n") << Rejection::TrailingBytes;
    QTest::newRow("pause in capitals") << QByteArray("PAUSE") << Rejection::UnknownTag;
    QTest::newRow("half a pause") << QByteArray("paus") << Rejection::UnknownTag;
    QTest::newRow("capital P") << QByteArray("P1t10:00") << Rejection::UnknownTag;
    QTest::newRow("capital T") << QByteArray("p1T10:00") << Rejection::MissingClockTag;
    QTest::newRow("no period digits") << QByteArray("pt10:00") << Rejection::UnknownTag;
    QTest::newRow("signed period") << QByteArray("p-1t10:00") << Rejection::UnknownTag;
    QTest::newRow("period 0") << QByteArray("p0t10:00") << Rejection::PeriodOutOfRange;
    QTest::newRow("period 32768") << QByteArray("p32768t00:00") << Rejection::PeriodOutOfRange;
    // A naive accumulator wraps 4294967297 to 1; the range check must see the whole run.
    QTest::newRow("period that wraps 32 bits") << QByteArray("p4294967297t00:00") << Rejection::PeriodOutOfRange;
    QTest::newRow("period of 50 digits") << QByteArray(50, '9').prepend('p').append("t00:00")
                                         << Rejection::PeriodOutOfRange;
    QTest::newRow("one-digit minutes") << QByteArray("p1t1:00") << Rejection::BadMinutes;
    QTest::newRow("no colon") << QByteArray("p1t1000") << Rejection::BadMinutes;
    QTest::newRow("negative minutes") << QByteArray("p1t-01:59") << Rejection::BadMinutes;
    QTest::newRow("nothing after t") << QByteArray("p1t") << Rejection::BadMinutes;
    QTest::newRow("one-digit seconds") << QByteArray("p1t10:0") << Rejection::BadSeconds;
    QTest::newRow("three-digit seconds") << QByteArray("p1t10:000") << Rejection::BadSeconds;
    QTest::newRow("seconds 60") << QByteArray("p1t10:60") << Rejection::BadSeconds;
    QTest::newRow("line end") << QByteArray("p1t10:00\n") << Rejection::TrailingBytes;
    QTest::newRow("NUL terminator") << QByteArray("p1t10:00", 9) << Rejection::TrailingBytes;
    QTest::newRow("two messages") << QByteArray("p1t10:00p1t09:59") << Rejection::TrailingBytes;
    QTest::newRow("65 bytes") << QByteArray("p1t") + QByteArray(59, '1') + QByteArray(":00") << Rejection::Oversized;
    QTest::newRow("byte 0x80") << QByteArray("p1t10:0\x80") << Rejection::NonAscii;
    QTest::newRow("UTF-8 digit lookalike") << QByteArray("p1t10:0\xef\xbc\x90") << Rejection::NonAscii;
    QTest::newRow("byte 0xFF first") << QByteArray("\xffpause") << Rejection::NonAscii;
}

void TestDatagramParser::rejects()
{
    QFETCH(QByteArray, bytes);
    QFETCH(Rejection, why);

    const Datagram result = parseDatagram(view(bytes));
    const auto* rejected = std::get_if<RejectedDatagram>(&result);
    QVERIFY2(rejected, "accepted");
    QCOMPARE(rejected->why, why);
    QVERIFY(!describe(why).empty());
}

void TestDatagramParser::readsWhatTheClockSends_data()
{
    QTest::addColumn<int>("period");
    QTest::addColumn<QString>("clock");

    QTest::newRow("first period") << 1 << QStringLiteral("10:00");
    QTest::newRow("period 10") << 10 << QStringLiteral("12:00");
    QTest::newRow("end of a countdown") << 4 << QStringLiteral("00:00");
    QTest::newRow("long period") << 2 << QStringLiteral("546:59");
    QTest::newRow("largest period") << 32767 << QStringLiteral("59:59");
}

void TestDatagramParser::readsWhatTheClockSends()
{
    QFETCH(int, period);
    QFETCH(QString, clock);

    const QByteArray sent = korvo::model::timeMessage(static_cast<std::int16_t>(period), clock).toLatin1();
    const Datagram result = parseDatagram(view(sent));
    QCOMPARE(std::get_if<TimeDatagram>(&result) ? *std::get_if<TimeDatagram>(&result) : TimeDatagram{},
             (TimeDatagram{static_cast<std::int16_t>(period), clock.toStdString()}));

    const Datagram pause = parseDatagram(korvo::model::kPauseMessage);
    QVERIFY(std::holds_alternative<PauseDatagram>(pause));
}

QTEST_GUILESS_MAIN(TestDatagramParser)
#include "tst_DatagramParser.moc"
