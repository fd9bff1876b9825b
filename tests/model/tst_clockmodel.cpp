#include "errors/Procedure.h"
#include "errors/RuntimeError.h"
#include "fakes/FakeErrors.h"
#include "model/ClockModel.h"

#include <QTest>

using korvo::errors::Procedure;
using korvo::errors::RuntimeError;
using korvo::fakes::FakeTrap;
using korvo::model::ClockModel;
using korvo::model::COUNT_DOWN;
using korvo::model::COUNT_UP;
using korvo::model::kFalse;
using korvo::model::kTrue;
using korvo::model::PERIOD_REC;

namespace {

PERIOD_REC period(const char* descr, std::int16_t minutes, std::int16_t seconds)
{
    return PERIOD_REC{QString::fromLatin1(descr), kFalse, minutes, seconds};
}

PERIOD_REC askMe(const char* descr)
{
    return PERIOD_REC{QString::fromLatin1(descr), kTrue, -1, -1};
}

/// The number of the error that reading the record raises, 0 when it can be read.
int recordError(ClockModel& model, std::int32_t number)
{
    try {
        static_cast<void>(model.record(number));
    } catch (const RuntimeError& e) {
        return e.number();
    }
    return 0;
}

int currentRecordError(ClockModel& model)
{
    try {
        static_cast<void>(model.currentRecord());
    } catch (const RuntimeError& e) {
        return e.number();
    }
    return 0;
}

} // namespace

class TestClockModel final : public QObject
{
    Q_OBJECT

private slots:
    void startsEmpty();
    void applySetReplacesTheSet();
    void applySetDiscardsEarlierRecords();
    void recordOutsideTheList();
    void startRule_data();
    void startRule();
    void startRuleWithoutListIsReportedByCaller();
    void startRuleOnNotYetAskedPeriodFails();
};

void TestClockModel::startsEmpty()
{
    ClockModel model;
    QCOMPARE(model.CUR_SECONDS, 0);
    QCOMPARE(model.PERIOD_SECONDS, 0);
    QCOMPARE(model.TIME_MODE, 0);
    QCOMPARE(model.CUR_PERIOD, std::int16_t{0});
    QCOMPARE(model.PERIOD_COUNT, std::int16_t{0});
    QVERIFY(!model.PERIODS.has_value());
    QCOMPARE(model.CLOCK_RUNNING, kFalse);
    QVERIFY(model.BROADCAST_IP.isEmpty());
}

void TestClockModel::applySetReplacesTheSet()
{
    ClockModel model;
    model.CUR_SECONDS = 123;
    model.PERIOD_SECONDS = 456;
    model.CUR_PERIOD = 3;
    model.CLOCK_RUNNING = kTrue;
    model.applySet({period("1st Half", 45, 0), askMe("Overtime")}, COUNT_DOWN, QStringLiteral("10.0.0.255"));

    QCOMPARE(model.PERIOD_COUNT, std::int16_t{2});
    QCOMPARE(model.CUR_PERIOD, std::int16_t{1});
    QCOMPARE(model.TIME_MODE, COUNT_DOWN);
    QCOMPARE(model.BROADCAST_IP, QStringLiteral("10.0.0.255"));
    QVERIFY(model.PERIODS.has_value());
    QCOMPARE(model.PERIODS->size(), std::size_t{3});
    QCOMPARE(model.record(0), PERIOD_REC{});
    QCOMPARE(model.currentRecord(), period("1st Half", 45, 0));
    QCOMPARE(model.record(2), askMe("Overtime"));
    // The clock value is left to the start rule; the running flag to the main window.
    QCOMPARE(model.CUR_SECONDS, 123);
    QCOMPARE(model.PERIOD_SECONDS, 456);
    QCOMPARE(model.CLOCK_RUNNING, kTrue);
}

void TestClockModel::applySetDiscardsEarlierRecords()
{
    ClockModel model;
    model.applySet({period("Q1", 10, 0), askMe("Q2"), period("Q3", 10, 0)}, COUNT_UP, QStringLiteral("1.2.3.255"));
    model.record(2).Minutes = 7; // typed in at Next
    model.record(2).Seconds = 30;
    model.applySet({askMe("Q1"), askMe("Q2")}, COUNT_UP, QStringLiteral("1.2.3.255"));

    QCOMPARE(model.PERIOD_COUNT, std::int16_t{2});
    QCOMPARE(model.record(2), askMe("Q2"));
    QCOMPARE(recordError(model, 3), 9);

    model.applySet({}, COUNT_UP, QString());
    QCOMPARE(model.PERIOD_COUNT, std::int16_t{0});
    QCOMPARE(model.CUR_PERIOD, std::int16_t{1});
    QCOMPARE(currentRecordError(model), 9);
}

void TestClockModel::recordOutsideTheList()
{
    ClockModel model;
    QCOMPARE(currentRecordError(model), 9);
    QCOMPARE(recordError(model, 0), 9);
    QCOMPARE(recordError(model, 1), 9);

    model.applySet({period("A", 1, 0), period("B", 2, 0)}, COUNT_UP, QString());
    QCOMPARE(recordError(model, 0), 0);
    QCOMPARE(recordError(model, 2), 0);
    QCOMPARE(recordError(model, 3), 9);
    QCOMPARE(recordError(model, -1), 9);
    model.CUR_PERIOD = 3;
    QCOMPARE(currentRecordError(model), 9);
    model.CUR_PERIOD = -32768;
    QCOMPARE(currentRecordError(model), 9);
    model.CUR_PERIOD = 2;
    QCOMPARE(model.currentRecord().Descr, QStringLiteral("B"));
}

void TestClockModel::startRule_data()
{
    QTest::addColumn<int>("minutes");
    QTest::addColumn<int>("seconds");
    QTest::addColumn<int>("mode");
    QTest::addColumn<QString>("durationText");
    QTest::addColumn<int>("periodSeconds");
    QTest::addColumn<int>("curSeconds");
    QTest::addColumn<int>("mismatches");

    QTest::newRow("10 minutes down") << 10 << 0 << COUNT_DOWN << "10:00" << 600 << 600 << 0;
    QTest::newRow("10 minutes up") << 10 << 0 << COUNT_UP << "10:00" << 600 << 0 << 0;
    QTest::newRow("5:30 down") << 5 << 30 << COUNT_DOWN << "05:30" << 330 << 330 << 0;
    QTest::newRow("75 seconds up") << 0 << 75 << COUNT_UP << "00:75" << 75 << 0 << 0;
    QTest::newRow("75 seconds down") << 0 << 75 << COUNT_DOWN << "00:75" << 75 << 75 << 0;
    QTest::newRow("zero up") << 0 << 0 << COUNT_UP << "00:00" << 0 << 0 << 0;
    QTest::newRow("zero down") << 0 << 0 << COUNT_DOWN << "00:00" << 0 << 0 << 0;
    QTest::newRow("99:99 down") << 99 << 99 << COUNT_DOWN << "99:99" << 6039 << 6039 << 0;
    QTest::newRow("unknown mode starts at 0") << 10 << 0 << 0 << "10:00" << 600 << 0 << 0;
    QTest::newRow("mode 3 starts at 0") << 10 << 0 << 3 << "10:00" << 600 << 0 << 0;
    QTest::newRow("seconds 150 read as 15") << 0 << 150 << COUNT_DOWN << "00:150" << 15 << 15 << 0;
    QTest::newRow("seconds -5 read as 0") << 1 << -5 << COUNT_DOWN << "01:-05" << 60 << 60 << 0;
    QTest::newRow("seconds -25 read as -2") << 1 << -25 << COUNT_DOWN << "01:-25" << 58 << 58 << 0;
    // TIME2SEC reports the mismatch itself; after Ignore the seconds piece stays 0.
    QTest::newRow("minutes 100") << 100 << 0 << COUNT_DOWN << "100:00" << 600 << 600 << 1;
    QTest::newRow("minutes -1") << -1 << 30 << COUNT_DOWN << "-01:30" << 0 << 0 << 1;
}

void TestClockModel::startRule()
{
    QFETCH(int, minutes);
    QFETCH(int, seconds);
    QFETCH(int, mode);
    QFETCH(QString, durationText);
    QFETCH(int, periodSeconds);
    QFETCH(int, curSeconds);
    QFETCH(int, mismatches);

    FakeTrap t;
    ClockModel model;
    model.applySet({period("Other", 1, 1), period("Tested", static_cast<std::int16_t>(minutes),
                                                   static_cast<std::int16_t>(seconds))},
                   mode, QString());
    model.CUR_PERIOD = 2;
    model.CUR_SECONDS = 999;
    model.CLOCK_RUNNING = kTrue;
    QCOMPARE(model.durationText(), durationText);

    Procedure p(t.trap, "frmMAIN", "cmdNEXTPERIOD_Click");
    korvo::model::startPeriod(p, model, 120);

    QCOMPARE(model.PERIOD_SECONDS, periodSeconds);
    QCOMPARE(model.CUR_SECONDS, curSeconds);
    QCOMPARE(model.CLOCK_RUNNING, kTrue);
    QCOMPARE(model.record(2).Minutes, std::int16_t(minutes));
    QCOMPARE(t.reporter.texts.size(), mismatches);
    for (const QString& report : std::as_const(t.reporter.texts))
        QVERIFY2(report.startsWith(QLatin1String("Error 13\r\nType mismatch\r\nLocation: KorvoTimer.common.TIME2SEC\r\n")),
                 qPrintable(report));
}

void TestClockModel::startRuleWithoutListIsReportedByCaller()
{
    FakeTrap t;
    ClockModel model;
    model.TIME_MODE = COUNT_DOWN;
    model.PERIOD_SECONDS = 42;
    model.CUR_SECONDS = 7;
    bool carriedOn = false;
    Procedure p(t.trap, "frmMAIN", "cmdSETTING_Click");
    korvo::model::startPeriod(p, model, 55);
    p([&] { carriedOn = true; });

    QCOMPARE(t.reporter.texts,
             QStringList{QStringLiteral("Error 9\r\nSubscript out of range\r\nLocation: KorvoTimer.frmMAIN.cmdSETTING_Click\r\nLine 55")});
    QCOMPARE(model.PERIOD_SECONDS, 42); // the failing step assigned nothing
    QCOMPARE(model.CUR_SECONDS, 42);    // the next step of the rule still ran
    QVERIFY(carriedOn);
}

void TestClockModel::startRuleOnNotYetAskedPeriodFails()
{
    FakeTrap t;
    ClockModel model;
    model.applySet({askMe("1st Period")}, COUNT_DOWN, QString());
    Procedure p(t.trap, "frmMAIN", "cmdSETTING_Click");
    korvo::model::startPeriod(p, model, 60);

    QCOMPARE(model.durationText(), QStringLiteral("-01:-01"));
    QCOMPARE(t.reporter.texts.size(), 1);
    QVERIFY(t.reporter.texts.first().startsWith(QLatin1String("Error 13\r\nType mismatch\r\nLocation: KorvoTimer.common.TIME2SEC")));
    QCOMPARE(model.PERIOD_SECONDS, 0);
    QCOMPARE(model.CUR_SECONDS, 0);
}

QTEST_GUILESS_MAIN(TestClockModel)
#include "tst_clockmodel.moc"
