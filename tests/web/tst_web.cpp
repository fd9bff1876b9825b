#include "follow/FollowedState.h"
#include "protocol/DatagramParser.h"
#include "web/StateJson.h"
#include "web/WebOptions.h"

#include <QTest>

using namespace korvo;
using namespace std::chrono_literals;

namespace {

/// Hands a datagram to the state the way the receiver sorts it; returns why it was rejected, or "".
QString hear(follow::FollowedState& state, const QByteArray& bytes, const char* sender, std::chrono::nanoseconds now)
{
    const auto datagram = protocol::parseDatagram({bytes.constData(), static_cast<std::size_t>(bytes.size())});
    if (const auto* time = std::get_if<protocol::TimeDatagram>(&datagram))
        state.showTime(*time, QHostAddress(QString::fromLatin1(sender)), now);
    else if (std::holds_alternative<protocol::PauseDatagram>(datagram))
        state.showPause(QHostAddress(QString::fromLatin1(sender)), now);
    else
        return QString::fromUtf8(protocol::describe(std::get<protocol::RejectedDatagram>(datagram).why));
    return {};
}

/// One line per outcome, so a row states what it expects in a single column.
QString outcome(const std::variant<web::WebOptions, web::HelpText, web::OptionError>& parsed)
{
    if (const auto* error = std::get_if<web::OptionError>(&parsed))
        return QStringLiteral("error: ") + error->message;
    if (std::holds_alternative<web::HelpText>(parsed))
        return QStringLiteral("help");
    const auto& o = std::get<web::WebOptions>(parsed);
    return QStringLiteral("udp %1 from %2, http %3 port %4, %5 connections, idle %6 s%7")
        .arg(o.clock.port)
        .arg(o.clock.source ? o.clock.source->toString() : QStringLiteral("anyone"),
             o.listen == QHostAddress::Any ? QStringLiteral("every interface") : o.listen.toString())
        .arg(o.httpPort)
        .arg(o.limits.maxConnections)
        .arg(o.limits.idleTimeout.count())
        .arg(o.verbose ? QStringLiteral(", verbose") : QString());
}

// Period 2 at 05:00 from 192.168.0.1 at 0 s, then nothing that counts; read at 1.5 s.
const QString kUnchanged = QStringLiteral(
    R"({"ageMs":1500,"clock":"05:00","paused":false,"period":2,"source":"192.168.0.1","staleAfterMs":2000})");

} // namespace

class TestWeb final : public QObject
{
    Q_OBJECT

private slots:
    // The clock was at 05:00 in period 2; at 1 s this datagram arrives from 192.168.0.7. A datagram the
    // display rejects changes nothing (the state stays kUnchanged); the row gives the reason, as
    // korvo-display --print tells it.
    void datagramToJson_data()
    {
        QTest::addColumn<QByteArray>("datagram");
        QTest::addColumn<QString>("expected");
        QTest::newRow("time") << QByteArray("p1t10:00")
            << R"({"ageMs":500,"clock":"10:00","paused":false,"period":1,"source":"192.168.0.7","staleAfterMs":2000})";
        QTest::newRow("largest clock text, zeros before the period") << QByteArray("p007t546:59")
            << R"({"ageMs":500,"clock":"546:59","paused":false,"period":7,"source":"192.168.0.7","staleAfterMs":2000})";
        QTest::newRow("largest period") << QByteArray("p32767t00:59")
            << R"({"ageMs":500,"clock":"00:59","paused":false,"period":32767,"source":"192.168.0.7","staleAfterMs":2000})";
        QTest::newRow("exactly 64 bytes") << QByteArray(56, '0').prepend('p').append("7t01:00")
            << R"({"ageMs":500,"clock":"01:00","paused":false,"period":7,"source":"192.168.0.7","staleAfterMs":2000})";
        QTest::newRow("pause keeps the time") << QByteArray("pause")
            << R"({"ageMs":500,"clock":"05:00","paused":true,"period":2,"source":"192.168.0.7","staleAfterMs":2000})";
        QTest::newRow("empty") << QByteArray() << "empty";
        QTest::newRow("65 bytes") << QByteArray("p1t") + QByteArray(59, '1') + ":00" << "longer than 64 bytes";
        QTest::newRow("byte 0x80") << QByteArray("p1t10:0\x80") << "not ASCII";
        QTest::newRow("capital P") << QByteArray("P1t10:00") << "neither a time nor a pause message";
        QTest::newRow("period 0") << QByteArray("p0t10:00") << "period out of range";
        QTest::newRow("period 32768") << QByteArray("p32768t00:00") << "period out of range";
        // A naive accumulator wraps 4294967297 to 1; the range check must see the whole run.
        QTest::newRow("period that wraps 32 bits") << QByteArray("p4294967297t00:00") << "period out of range";
        QTest::newRow("capital T") << QByteArray("p1T10:00") << R"(no "t" after the period)";
        QTest::newRow("one-digit minutes") << QByteArray("p1t1:00") << R"(minutes need two or three digits and ":")";
        QTest::newRow("four-digit minutes") << QByteArray("p1t1000:00")
                                            << R"(minutes need two or three digits and ":")";
        QTest::newRow("one-digit seconds") << QByteArray("p1t10:0") << "seconds need exactly two digits, 00 to 59";
        QTest::newRow("seconds 60") << QByteArray("p1t10:60") << "seconds need exactly two digits, 00 to 59";
        QTest::newRow("pause and a space") << QByteArray("pause ") << "unexpected bytes after the message";
        QTest::newRow("line end") << QByteArray("p1t10:00\n") << "unexpected bytes after the message";
    }

    void datagramToJson()
    {
        QFETCH(QByteArray, datagram);
        QFETCH(QString, expected);
        follow::FollowedState state;
        hear(state, "p2t05:00", "192.168.0.1", 0s);
        const QString rejected = hear(state, datagram, "192.168.0.7", 1s);
        const QString json = QString::fromUtf8(web::stateJson(state, 1500ms));
        QCOMPARE(rejected.isEmpty() ? json : rejected, expected);
        QVERIFY(rejected.isEmpty() || json == kUnchanged);
    }

    void options_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("expected");
        QTest::newRow("defaults") << QStringList{}
                                  << "udp 7699 from anyone, http every interface port 8080, 512 connections, idle 15 s";
        QTest::newRow("every option")
            << QStringList{"--port", "7700", "--source", "192.168.000.010", "--http-port", "0", "--listen", "127.0.0.1",
                           "--max-connections", "20", "--idle-timeout", "2", "--verbose"}
            << "udp 7700 from 192.168.0.10, http 127.0.0.1 port 0, 20 connections, idle 2 s, verbose";
        QTest::newRow("help") << QStringList{"--help"} << "help";
        QTest::newRow("port 0") << QStringList{"--port", "0"}
                                << R"(error: --port needs a number from 1 to 65535, not "0")";
        QTest::newRow("IPv6 source") << QStringList{"--source", "::1"}
                                     << R"(error: --source needs an IPv4 address such as 192.168.0.10, not "::1")";
        QTest::newRow("unknown option") << QStringList{"--colour"} << "error: Unknown option 'colour'.";
    }

    void options()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, expected);
        arguments.prepend(QStringLiteral("korvo-web"));
        QCOMPARE(outcome(web::parseWebOptions(arguments)), expected);
    }
};

QTEST_GUILESS_MAIN(TestWeb)
#include "tst_web.moc"
