#include "errors/RuntimeError.h"
#include "settings/NetworkAddress.h"
#include "settings/PeriodScript.h"

#include <QFile>
#include <QTest>

using namespace korvo;
using settings::Direction;
using settings::PeriodRow;

Q_DECLARE_METATYPE(std::optional<Direction>)
Q_DECLARE_METATYPE(std::vector<PeriodRow>)

namespace {

std::vector<PeriodRow> rows(std::initializer_list<std::pair<const char*, const char*>> pairs)
{
    std::vector<PeriodRow> result;
    for (const auto& [legend, time] : pairs)
        result.push_back({QString::fromUtf8(legend), QString::fromUtf8(time)});
    return result;
}

QByteArray golden(const char* name)
{
    QFile file(QStringLiteral(KORVO_TEST_DATA_DIR "/") + QLatin1String(name));
    if (!file.open(QIODevice::ReadOnly))
        qFatal("missing golden file %s", name);
    return file.readAll();
}

} // namespace

class TestPeriodScript final : public QObject
{
    Q_OBJECT
private slots:
    void read_data();
    void read();
    void writesExactBytes_data();
    void writesExactBytes();
    void writeThenReadGivesTheSameSet_data();
    void writeThenReadGivesTheSameSet();
    void proposedNetwork_data();
    void proposedNetwork();
    void proposedNetworkNeedsThreeFields();
    void broadcastAddress_data();
    void broadcastAddress();
};

void TestPeriodScript::read_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<std::optional<Direction>>("direction");
    QTest::addColumn<std::vector<PeriodRow>>("rows");
    QTest::addColumn<bool>("incomplete");

    const auto halves = rows({{"1st Half", "20:00"}, {"2nd Half", "20:00"}});
    QTest::newRow("golden two halves") << golden("two-halves.ptm") << std::optional(Direction::Pass) << halves << false;
    QTest::newRow("count down, ask me")
        << QByteArray("TimeLeft\r\n1st Quarter\r\n10:00\r\n4th Quarter\r\nAsk me\r\n") << std::optional(Direction::Left)
        << rows({{"1st Quarter", "10:00"}, {"4th Quarter", "Ask me"}}) << false;
    QTest::newRow("keyword only") << QByteArray("TimeLeft\r\n") << std::optional(Direction::Left)
                                  << std::vector<PeriodRow>{} << false;
    QTest::newRow("keyword without line end") << QByteArray("TimePass") << std::optional(Direction::Pass)
                                              << std::vector<PeriodRow>{} << false;
    QTest::newRow("empty file") << QByteArray() << std::optional<Direction>() << std::vector<PeriodRow>{} << false;
    QTest::newRow("unknown first line is skipped, not a legend")
        << QByteArray("Rugby\r\n1st Half\r\n40:00\r\n") << std::optional<Direction>()
        << rows({{"1st Half", "40:00"}}) << false;
    QTest::newRow("keyword is case-sensitive") << QByteArray("timepass\r\nA\r\n01:00\r\n") << std::optional<Direction>()
                                               << rows({{"A", "01:00"}}) << false;
    QTest::newRow("keyword is the whole line") << QByteArray("TimePass \r\nA\r\n01:00\r\n")
                                               << std::optional<Direction>() << rows({{"A", "01:00"}}) << false;
    QTest::newRow("odd line count") << QByteArray("TimePass\r\nA\r\n01:00\r\nB\r\n") << std::optional(Direction::Pass)
                                    << rows({{"A", "01:00"}}) << true;
    QTest::newRow("trailing empty lines ignored")
        << QByteArray("TimePass\r\n1st Half\r\n20:00\r\n2nd Half\r\n20:00\r\n\r\n\r\n")
        << std::optional(Direction::Pass) << halves << false;
    QTest::newRow("empty line right after the last legend is its time")
        << QByteArray("TimePass\r\nA\r\n01:00\r\nB\r\n\r\n\r\n") << std::optional(Direction::Pass)
        << rows({{"A", "01:00"}, {"B", ""}}) << false;
    QTest::newRow("empty line inside is a legend") << QByteArray("TimeLeft\r\n\r\n05:00\r\n")
                                                   << std::optional(Direction::Left) << rows({{"", "05:00"}}) << false;
    QTest::newRow("LF only") << QByteArray("TimePass\n1st Half\n20:00\n2nd Half\n20:00\n")
                             << std::optional(Direction::Pass) << halves << false;
    QTest::newRow("CR only") << QByteArray("TimePass\r1st Half\r20:00\r2nd Half\r20:00\r")
                             << std::optional(Direction::Pass) << halves << false;
    QTest::newRow("mixed line ends, last unterminated")
        << QByteArray("TimePass\n1st Half\r\n20:00\r2nd Half\n20:00") << std::optional(Direction::Pass) << halves
        << false;
    QTest::newRow("CR CR LF is an empty line between")
        << QByteArray("TimePass\r\r\nA\r\n") << std::optional(Direction::Pass) << rows({{"", "A"}}) << false;
    QTest::newRow("tab stays in the legend") << QByteArray("TimePass\r\nHome\tAway\r\n15:00\r\n")
                                             << std::optional(Direction::Pass) << rows({{"Home\tAway", "15:00"}})
                                             << false;
    QTest::newRow("UTF-8 legend") << QByteArray("TimePass\r\nP\xC3\xA9riode\r\n10:00\r\n")
                                  << std::optional(Direction::Pass) << rows({{"Période", "10:00"}}) << false;
    QTest::newRow("Latin-1 legend") << QByteArray("TimePass\r\nP\xE9riode\r\n10:00\r\n")
                                    << std::optional(Direction::Pass) << rows({{"Période", "10:00"}}) << false;
    QTest::newRow("bytes not valid UTF-8 anywhere make the whole file Latin-1")
        << QByteArray("TimePass\r\n\xC3\xA9t\xE9\r\n10:00\r\n") << std::optional(Direction::Pass)
        << rows({{"Ã©té", "10:00"}}) << false;
    QTest::newRow("byte-order mark dropped") << QByteArray("\xEF\xBB\xBFTimeLeft\r\nA\r\n01:00\r\n")
                                             << std::optional(Direction::Left) << rows({{"A", "01:00"}}) << false;
    QTest::newRow("time text is not validated") << QByteArray("TimePass\r\nA\r\nsoon\r\n")
                                                << std::optional(Direction::Pass) << rows({{"A", "soon"}}) << false;
}

void TestPeriodScript::read()
{
    QFETCH(QByteArray, bytes);
    QFETCH(std::optional<Direction>, direction);
    QFETCH(std::vector<PeriodRow>, rows);
    QFETCH(bool, incomplete);

    const settings::PeriodFile file = settings::PeriodScript::read(bytes);
    QCOMPARE(file.direction, direction);
    QCOMPARE(file.rows.size(), rows.size());
    for (std::size_t i = 0; i < rows.size(); ++i) {
        QCOMPARE(file.rows[i].legend, rows[i].legend);
        QCOMPARE(file.rows[i].time, rows[i].time);
    }
    QCOMPARE(file.incomplete, incomplete);
}

void TestPeriodScript::writesExactBytes_data()
{
    QTest::addColumn<Direction>("direction");
    QTest::addColumn<std::vector<PeriodRow>>("rows");
    QTest::addColumn<QByteArray>("bytes");

    QTest::newRow("golden two halves") << Direction::Pass << rows({{"1st Half", "20:00"}, {"2nd Half", "20:00"}})
                                       << golden("two-halves.ptm");
    QTest::newRow("four quarters counting down")
        << Direction::Left
        << rows({{"1st Quarter", "10:00"}, {"2nd Quarter", "10:00"}, {"3rd Quarter", "10:00"},
                 {"4th Quarter", "Ask me"}})
        << QByteArray("TimeLeft\r\n1st Quarter\r\n10:00\r\n2nd Quarter\r\n10:00\r\n3rd Quarter\r\n10:00\r\n"
                      "4th Quarter\r\nAsk me\r\n");
    QTest::newRow("UTF-8 without byte-order mark") << Direction::Pass << rows({{"Période", "10:00"}})
                                                   << QByteArray("TimePass\r\nP\xC3\xA9riode\r\n10:00\r\n");
    QTest::newRow("tab written as it stands") << Direction::Pass << rows({{"a\tb", "01:00"}})
                                              << QByteArray("TimePass\r\na\tb\r\n01:00\r\n");
}

void TestPeriodScript::writesExactBytes()
{
    QFETCH(Direction, direction);
    QFETCH(std::vector<PeriodRow>, rows);
    QFETCH(QByteArray, bytes);
    QCOMPARE(settings::PeriodScript::write(direction, rows), bytes);
}

void TestPeriodScript::writeThenReadGivesTheSameSet_data()
{
    QTest::addColumn<Direction>("direction");
    QTest::addColumn<std::vector<PeriodRow>>("rows");
    QTest::newRow("ask me rows") << Direction::Left << rows({{"A", "Ask me"}, {"B", "12:30"}, {"C", "Ask me"}});
    QTest::newRow("repeated and empty legends") << Direction::Pass << rows({{"", "01:00"}, {"", "01:00"}});
    QTest::newRow("non-ASCII and tab") << Direction::Pass << rows({{"Ελλάδα\tΑ", "05:00"}});
    QTest::newRow("empty last time") << Direction::Pass << rows({{"A", "01:00"}, {"B", ""}});
}

void TestPeriodScript::writeThenReadGivesTheSameSet()
{
    QFETCH(Direction, direction);
    QFETCH(std::vector<PeriodRow>, rows);
    const settings::PeriodFile file = settings::PeriodScript::read(settings::PeriodScript::write(direction, rows));
    QCOMPARE(file.direction, std::optional(direction));
    QVERIFY(file.rows == rows);
    QVERIFY(!file.incomplete);
}

void TestPeriodScript::proposedNetwork_data()
{
    QTest::addColumn<QString>("localIp");
    QTest::addColumn<QString>("network");
    QTest::newRow("10.0.0.7") << "10.0.0.7" << "010.000.000";
    QTest::newRow("192.168.1.20") << "192.168.1.20" << "192.168.001";
    QTest::newRow("three fields are enough") << "172.16.5" << "172.016.005";
    QTest::newRow("field that is no number kept") << "a.1.2.3" << "a.001.002";
}

void TestPeriodScript::proposedNetwork()
{
    QFETCH(QString, localIp);
    QFETCH(QString, network);
    QCOMPARE(settings::proposedNetwork(localIp.split(QLatin1Char('.'))), network);
}

void TestPeriodScript::proposedNetworkNeedsThreeFields()
{
    try {
        (void)settings::proposedNetwork({QStringLiteral("10"), QStringLiteral("0")});
        QFAIL("two fields were accepted");
    } catch (const errors::RuntimeError& e) {
        QCOMPARE(e.number(), errors::err::SubscriptOutOfRange);
    }
}

void TestPeriodScript::broadcastAddress_data()
{
    QTest::addColumn<QString>("box");
    QTest::addColumn<QString>("address");
    QTest::newRow("leading zeros dropped") << "192.168.001" << "192.168.1.255";
    QTest::newRow("proposed 10 net") << "010.000.000" << "10.0.0.255";
    QTest::newRow("field read up to its first blank") << "1__.2_3.___" << "1.2.0.255";
    QTest::newRow("not limited to 255") << "999.300.256" << "999.300.256.255";
}

void TestPeriodScript::broadcastAddress()
{
    QFETCH(QString, box);
    QFETCH(QString, address);
    QCOMPARE(settings::broadcastAddress(box), address);
}

QTEST_GUILESS_MAIN(TestPeriodScript)
#include "tst_periodscript.moc"
