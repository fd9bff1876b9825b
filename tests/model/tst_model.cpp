#include "errors/Procedure.h"
#include "errors/RuntimeError.h"
#include "model/CheckedArithmetic.h"
#include "model/ClockModel.h"
#include "model/Journal.h"
#include "model/TimeText.h"
#include "support/FakeErrors.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTest>

#include <functional>
#include <limits>

using namespace korvo::model;
using korvo::errors::Procedure;
using korvo::errors::RuntimeError;
using korvo::errors::Trap;
using korvo::fakes::FakeTrap;

namespace {

using Conversion = std::function<QString(Trap&)>;
constexpr std::int32_t kInt32Max = std::numeric_limits<std::int32_t>::max();

template <class T>
QString text(const T& value)
{
    if constexpr (std::is_same_v<T, QString>)
        return value;
    else
        return QString::number(value);
}

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

class TestModel final : public QObject
{
    Q_OBJECT

private slots:
    // The result, or "error n" for an error raised; then "; error n in procedure" for each report. After a
    // report the failing step is ignored and leaves its number at 0.
    void conversions_data()
    {
        QTest::addColumn<Conversion>("conversion");
        QTest::addColumn<QString>("expected");
        const auto row = [](const QString& name, auto f, const char* expected) {
            QTest::newRow(qPrintable(name)) << Conversion([f](Trap& t) { return text(f(t)); }) << QString(expected);
        };
        row("add32 past the top", [](Trap&) { return add32(kInt32Max, 1); }, "error 6");
        row("round 2.5 to even", [](Trap&) { return roundTo16(2.5); }, "2");
        row("round 32767.5 overflows", [](Trap&) { return roundTo16(32767.5); }, "error 6");
        row("round -32768.5 fits", [](Trap&) { return roundTo16(-32768.5); }, "-32768");
        row("round NaN", [](Trap&) { return roundTo16(std::numeric_limits<double>::quiet_NaN()); }, "error 6");
        row("text blank inside", [](Trap&) { return textTo16(u"1 2"); }, "error 13");
        row("text arabic-indic digits", [](Trap&) { return textTo16(u"\u0661\u0662"); }, "error 13");
        row("leading: blank after sign", [](Trap&) { return leadingNumber(u"- 5"); }, "-5");
        row("leading: sign after digits", [](Trap&) { return leadingNumber(u"5-3"); }, "5");
        row("00: minus one", [](Trap&) { return format00(-1); }, "-01");
        for (const auto& [seconds, expected] :
             {std::pair{32819, "546:59"}, {-1, "-01:59"}, {-32761, "-547:00; error 6 in common.SEC2TIME"},
              {kInt32Max, "00:00; error 6 in common.SEC2TIME; error 6 in common.SEC2TIME"}}) // minutes beyond 16 bits
            row(QString("SEC2TIME %1").arg(seconds), [s = seconds](Trap& t) { return common::SEC2TIME(t, s); },
                expected);
        // Two characters each of minutes and seconds are read, the third is not examined.
        row("TIME2SEC 10:00", [](Trap& t) { return common::TIME2SEC(t, "10:00"); }, "600");
        row("TIME2SEC 100:00", [](Trap& t) { return common::TIME2SEC(t, "100:00"); }, "600; error 13 in common.TIME2SEC");
    }
    void conversions()
    {
        QFETCH(Conversion, conversion);
        QFETCH(QString, expected);
        FakeTrap t;
        QString actual;
        try {
            actual = conversion(t.trap);
        } catch (const RuntimeError& e) {
            actual = QStringLiteral("error %1").arg(e.number());
        }
        static const QRegularExpression report(R"(^Error (\d+)\r\n.+\r\nLocation: KorvoTimer\.(\S+)\r\nLine \d+$)");
        for (const QString& r : t.reporter.texts)
            actual += "; " + QString(r).replace(report, R"(error \1 in \2)");
        QCOMPARE(actual, expected);
    }

    // Without a set, the start rule's reading of the current record fails at the caller's line.
    void currentRecordOfNoSet()
    {
        FakeTrap t;
        ClockModel model;
        model.TIME_MODE = COUNT_DOWN;
        model.PERIOD_SECONDS = 42;
        Procedure p(t.trap, "frmMAIN", "cmdSETTING_Click");
        startPeriod(p, model, 55);
        QCOMPARE(t.reporter.texts, QStringList{"Error 9\r\nSubscript out of range\r\nLocation: "
                                               "KorvoTimer.frmMAIN.cmdSETTING_Click\r\nLine 55"});
        QCOMPARE(model.PERIOD_SECONDS, 42); // the failing step assigned nothing
        QCOMPARE(model.CUR_SECONDS, 42);    // the next step of the rule still ran
    }

    // The journal the clock keeps between runs: the bytes it writes, every field back as it was written, and a
    // journal the clock could not have written refused with the reason. The question it leads to, and a
    // journal left by a real run or cut short: tests/clock/tst_frmmain.
    void journalWrittenAndReadBack()
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

    void journalRefused_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("fault");
        QTest::newRow("empty") << QByteArray() << "empty or unreadable";
        QTest::newRow("other version") << with({{"version", 2}}) << "version 2, not 1";
        QTest::newRow("period past the set") << with({{"CUR_PERIOD", 4}}) << "period 4 of 3";
        QTest::newRow("period as text")
            << with({{"CUR_PERIOD", "2"}}) << "CUR_PERIOD is not a whole number from -32768 to 32767";
        QTest::newRow("seconds past the period") << with({{"CUR_SECONDS", 331}}) << "331 seconds in a period of 330";
        QTest::newRow("period beyond 99:99")
            << with({{"PERIOD_SECONDS", 6040}}) << "PERIOD_SECONDS is not a whole number from 0 to 6039";
        QTest::newRow("no running flag") << with({}, "CLOCK_RUNNING") << "CLOCK_RUNNING is not true or false";
        QTest::newRow("periods not a list") << with({{"PERIODS", "1st Half"}}) << "PERIODS is not a list of periods";
    }

    void journalRefused()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, fault);
        QString why;
        QVERIFY(!readJournal(bytes, why));
        QCOMPARE(why, fault);
    }
};

QTEST_GUILESS_MAIN(TestModel)
#include "tst_model.moc"
