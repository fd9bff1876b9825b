// The journal the clock keeps between runs: the bytes it writes, every field back as it was written, and a
// journal the clock could not have written refused with the reason. The question it leads to, and a journal
// left by a real run: tests/clock/tst_resume.

#include "model/Journal.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>

using namespace korvo::model;

namespace {

/// Halves counted down, then extra time asked for (5:30 given), then a penalty period not yet asked for;
/// the clock running in the extra time at 273 of 330 seconds.
const QByteArray kGame
    = R"({"BROADCAST_IP":"127.0.0.255","CLOCK_RUNNING":true,"CUR_PERIOD":2,"CUR_SECONDS":273,"PERIODS":[)"
      R"({"AskMe":false,"Descr":"1. Halbzeit","Minutes":45,"Seconds":0},)"
      R"({"AskMe":true,"Descr":"Verlängerung ½ – Nachspielzeit","Minutes":5,"Seconds":30},)"
      R"({"AskMe":true,"Descr":"Elfmeterschießen","Minutes":-1,"Seconds":-1}],)"
      R"("PERIOD_SECONDS":330,"TIME_MODE":2,"finished":false,"version":1})"
      "\n";

/// The journal above with some fields changed and one left out.
QByteArray with(const QJsonObject& changes, const QString& without = {})
{
    QJsonObject o = QJsonDocument::fromJson(kGame).object();
    for (auto i = changes.begin(); i != changes.end(); ++i)
        o.insert(i.key(), *i);
    o.remove(without);
    return QJsonDocument(o).toJson();
}

} // namespace

class TestJournal : public QObject
{
    Q_OBJECT

private slots:
    void writtenAndReadBack()
    {
        ClockModel c;
        c.applySet({{"1. Halbzeit", kFalse, 45, 0}, {"Verlängerung ½ – Nachspielzeit", kTrue, 5, 30},
                    {"Elfmeterschießen", kTrue, -1, -1}},
                   COUNT_DOWN, "127.0.0.255");
        c.CUR_PERIOD = 2;
        c.PERIOD_SECONDS = 330;
        c.CUR_SECONDS = 273;
        c.CLOCK_RUNNING = kTrue;
        QCOMPARE(journalBytes(c, false), kGame);

        QString fault;
        std::optional<SavedGame> read = readJournal(kGame, fault);
        QVERIFY2(read, qPrintable(fault));
        QCOMPARE(journalBytes(read->clock, read->finished), kGame);
        // The lowest period and second are the game's too.
        const QByteArray lowest = with({{"CUR_PERIOD", 1}, {"PERIOD_SECONDS", 2700}, {"CUR_SECONDS", 0}});
        QVERIFY2(readJournal(lowest, fault), qPrintable(fault));
    }

    void refused_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("fault");
        QTest::newRow("empty") << QByteArray() << "empty or unreadable";
        QTest::newRow("cut short") << kGame.left(kGame.size() - 3) << "not a whole journal";
        QTest::newRow("other version") << with({{"version", 2}}) << "version 2, not 1";
        QTest::newRow("no version") << with({}, "version") << "no version";
        QTest::newRow("period past the set") << with({{"CUR_PERIOD", 4}}) << "period 4 of 3";
        QTest::newRow("period as text")
            << with({{"CUR_PERIOD", "2"}}) << "CUR_PERIOD is not a whole number from -32768 to 32767";
        QTest::newRow("seconds past the period") << with({{"CUR_SECONDS", 331}}) << "331 seconds in a period of 330";
        QTest::newRow("seconds below 0") << with({{"CUR_SECONDS", -1}}) << "-1 seconds in a period of 330";
        QTest::newRow("seconds not whole")
            << with({{"CUR_SECONDS", 2.5}}) << "CUR_SECONDS is not a whole number from -2147483648 to 2147483647";
        QTest::newRow("period beyond 99:99")
            << with({{"PERIOD_SECONDS", 6040}}) << "PERIOD_SECONDS is not a whole number from 0 to 6039";
        QTest::newRow("direction 3") << with({{"TIME_MODE", 3}}) << "TIME_MODE is not a whole number from 1 to 2";
        QTest::newRow("no running flag") << with({}, "CLOCK_RUNNING") << "CLOCK_RUNNING is not true or false";
        QTest::newRow("periods not a list") << with({{"PERIODS", "1st Half"}}) << "PERIODS is not a list of periods";
        QTest::newRow("minutes beyond 16 bits")
            << with({{"PERIODS", QJsonArray{QJsonObject{{"Descr", "X"}, {"AskMe", false}, {"Minutes", 40000},
                                                        {"Seconds", 0}}}}})
            << "Minutes is not a whole number from -32768 to 32767";
    }

    void refused()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, fault);
        QString why;
        QVERIFY(!readJournal(bytes, why));
        QCOMPARE(why, fault);
    }
};

QTEST_GUILESS_MAIN(TestJournal)
#include "tst_journal.moc"
