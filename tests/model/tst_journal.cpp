// The journal the clock keeps between runs: every field comes back as it was written, and a journal the
// clock could not have written is refused with the reason.

#include "model/Journal.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>

using namespace korvo::model;

namespace {

/// Halves counted down, then extra time asked for (5:30 given), then a penalty period not yet asked for.
ClockModel game(std::int32_t mode, std::int16_t period, std::int32_t seconds, std::int16_t running)
{
    ClockModel c;
    c.applySet({{QStringLiteral("1. Halbzeit"), kFalse, 45, 0},
                {QStringLiteral("Verlängerung ½ – Nachspielzeit"), kTrue, 5, 30},
                {QStringLiteral("Elfmeterschießen"), kTrue, -1, -1}},
               mode, QStringLiteral("127.0.0.255"));
    c.CUR_PERIOD = period;
    c.PERIOD_SECONDS = period == 1 ? 2700 : 330;
    c.CUR_SECONDS = seconds;
    c.CLOCK_RUNNING = running;
    return c;
}

/// A whole journal of the game above (period 2 of 3, 273 of 330 seconds) with one field changed or,
/// for an undefined value, left out.
QByteArray with(const QString& key, const QJsonValue& value)
{
    QJsonObject o = QJsonDocument::fromJson(journalBytes(game(COUNT_DOWN, 2, 273, kTrue), false)).object();
    if (value.isUndefined())
        o.remove(key);
    else
        o.insert(key, value);
    return QJsonDocument(o).toJson();
}

} // namespace

class TestJournal : public QObject
{
    Q_OBJECT

private slots:
    void roundTrip_data();
    void roundTrip();
    void refused_data();
    void refused();
};

void TestJournal::roundTrip_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<int>("period");
    QTest::addColumn<int>("seconds");
    QTest::addColumn<bool>("running");
    QTest::addColumn<bool>("finished");
    QTest::addColumn<QString>("question");
    QTest::newRow("extra time running, killed") << COUNT_DOWN << 2 << 273 << true << false
        << "The last game did not end normally: Verlängerung ½ – Nachspielzeit 04:33, period 2 of 3. Resume it?\n"
           "The clock was running; the time while the program was down is not counted.";
    QTest::newRow("first half paused, ended")
        << COUNT_UP << 1 << 2700 << false << true
        << "The last game ended normally: 1. Halbzeit 45:00, period 1 of 3. Resume it?";
}

void TestJournal::roundTrip()
{
    QFETCH(int, mode);
    QFETCH(int, period);
    QFETCH(int, seconds);
    QFETCH(bool, running);
    QFETCH(bool, finished);
    QFETCH(QString, question);
    const ClockModel written = game(mode, static_cast<std::int16_t>(period), seconds, running ? kTrue : kFalse);
    QString fault;
    const std::optional<SavedGame> read = readJournal(journalBytes(written, finished), fault);
    QVERIFY2(read, qPrintable(fault));
    const ClockModel& c = read->clock;
    QCOMPARE(c.PERIODS, written.PERIODS);
    QCOMPARE(c.PERIOD_COUNT, 3);
    QCOMPARE(c.TIME_MODE, mode);
    QCOMPARE(c.CUR_PERIOD, period);
    QCOMPARE(c.PERIOD_SECONDS, written.PERIOD_SECONDS);
    QCOMPARE(c.CUR_SECONDS, seconds);
    QCOMPARE(c.CLOCK_RUNNING, written.CLOCK_RUNNING);
    QCOMPARE(c.BROADCAST_IP, QStringLiteral("127.0.0.255"));
    QCOMPARE(read->finished, finished);
    QCOMPARE(resumeQuestion(*read), question);
}

void TestJournal::refused_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("fault");
    const QByteArray whole = with(QStringLiteral("version"), 1);
    const QJsonValue gone(QJsonValue::Undefined);
    QTest::newRow("empty") << QByteArray() << "empty or unreadable";
    QTest::newRow("cut short") << whole.left(whole.size() - 2) << "not a whole journal";
    QTest::newRow("not an object") << QByteArray("[1]") << "not a whole journal";
    QTest::newRow("other version") << with("version", 2) << "version 2, not 1";
    QTest::newRow("no version") << with("version", gone) << "no version";
    QTest::newRow("period 0") << with("CUR_PERIOD", 0) << "period 0 of 3";
    QTest::newRow("period past the set") << with("CUR_PERIOD", 4) << "period 4 of 3";
    QTest::newRow("period as text") << with("CUR_PERIOD", "2")
                                    << "CUR_PERIOD is not a whole number from -32768 to 32767";
    QTest::newRow("seconds past the period") << with("CUR_SECONDS", 331) << "331 seconds in a period of 330";
    QTest::newRow("seconds below 0") << with("CUR_SECONDS", -1) << "-1 seconds in a period of 330";
    QTest::newRow("seconds not whole") << with("CUR_SECONDS", 2.5)
                                       << "CUR_SECONDS is not a whole number from -2147483648 to 2147483647";
    QTest::newRow("period beyond 99:99") << with("PERIOD_SECONDS", 6040)
                                         << "PERIOD_SECONDS is not a whole number from 0 to 6039";
    QTest::newRow("direction 3") << with("TIME_MODE", 3) << "TIME_MODE is not a whole number from 1 to 2";
    QTest::newRow("no running flag") << with("CLOCK_RUNNING", gone) << "CLOCK_RUNNING is not true or false";
    QTest::newRow("periods not a list") << with("PERIODS", "1st Half") << "PERIODS is not a list of periods";
    QTest::newRow("minutes beyond 16 bits")
        << with("PERIODS",
                QJsonArray{QJsonObject{{"Descr", "X"}, {"AskMe", false}, {"Minutes", 40000}, {"Seconds", 0}}})
        << "Minutes is not a whole number from -32768 to 32767";
}

void TestJournal::refused()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, fault);
    QString why;
    QVERIFY(!readJournal(bytes, why));
    QCOMPARE(why, fault);
}

QTEST_GUILESS_MAIN(TestJournal)
#include "tst_journal.moc"
