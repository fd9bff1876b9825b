#include "fakes/FakeErrors.h"
#include "model/Common.h"

#include <QRegularExpression>
#include <QTest>

#include <limits>

using korvo::errors::Answer;
using korvo::fakes::FakeTrap;
using korvo::model::common::SEC2TIME;
using korvo::model::common::TIME2SEC;

namespace {

/// The line of a report whose other lines read exactly as expected; -1 when they do not.
int reportedLine(const QString& report, int number, const char* description, const char* procedure)
{
    const QRegularExpression pattern(QStringLiteral("^Error %1\r\n%2\r\nLocation: KorvoTimer\\.common\\.%3\r\nLine (\\d+)$")
                                         .arg(number)
                                         .arg(QLatin1String(description), QLatin1String(procedure)));
    const QRegularExpressionMatch match = pattern.match(report);
    return match.hasMatch() ? match.captured(1).toInt() : -1;
}

} // namespace

class TestCommon final : public QObject
{
    Q_OBJECT

private slots:
    void sec2time_data();
    void sec2time();
    void sec2timeOverflow_data();
    void sec2timeOverflow();
    void sec2timeRetryReportsAgain();
    void sec2timeAbortEndsProgram();
    void time2sec_data();
    void time2sec();
    void time2secMismatch_data();
    void time2secMismatch();
    void linesIdentifyTheFailingStep();
    void nothingRunsAfterTheProgramEnded();
};

void TestCommon::sec2time_data()
{
    QTest::addColumn<int>("seconds");
    QTest::addColumn<QString>("text");
    QTest::newRow("zero") << 0 << "00:00";
    QTest::newRow("59") << 59 << "00:59";
    QTest::newRow("60") << 60 << "01:00";
    QTest::newRow("599") << 599 << "09:59";
    QTest::newRow("5999") << 5999 << "99:59";
    QTest::newRow("6000") << 6000 << "100:00";
    QTest::newRow("largest") << 32819 << "546:59";
    QTest::newRow("-1") << -1 << "-01:59";
    QTest::newRow("-59") << -59 << "-01:01";
    QTest::newRow("-60") << -60 << "-01:00";
    QTest::newRow("-61") << -61 << "-02:59";
    QTest::newRow("smallest") << -32760 << "-546:00";
}

void TestCommon::sec2time()
{
    QFETCH(int, seconds);
    QFETCH(QString, text);
    FakeTrap t;
    QCOMPARE(SEC2TIME(t.trap, seconds), text);
    QVERIFY(t.reporter.texts.isEmpty());
}

void TestCommon::sec2timeOverflow_data()
{
    QTest::addColumn<int>("seconds");
    QTest::addColumn<int>("reports");
    QTest::addColumn<QString>("textAfterIgnore");
    // Ignore skips the failing step, which leaves its number at 0; the text is still made.
    QTest::newRow("32820") << 32820 << 1 << "547:00";
    QTest::newRow("-32761") << -32761 << 1 << "-547:00";
    QTest::newRow("largest minutes") << 32767 * 60 << 1 << "32767:00";
    QTest::newRow("minutes beyond 16 bits") << std::numeric_limits<std::int32_t>::max() << 2 << "00:00";
    QTest::newRow("most negative") << std::numeric_limits<std::int32_t>::min() << 2 << "00:00";
}

void TestCommon::sec2timeOverflow()
{
    QFETCH(int, seconds);
    QFETCH(int, reports);
    QFETCH(QString, textAfterIgnore);
    FakeTrap t;
    QCOMPARE(SEC2TIME(t.trap, seconds), textAfterIgnore);
    QCOMPARE(t.reporter.texts.size(), reports);
    for (const QString& report : std::as_const(t.reporter.texts))
        QVERIFY2(reportedLine(report, 6, "Overflow", "SEC2TIME") > 0, qPrintable(report));
}

void TestCommon::sec2timeRetryReportsAgain()
{
    FakeTrap t;
    t.reporter.answers = {Answer::Retry, Answer::Retry, Answer::Ignore};
    QCOMPARE(SEC2TIME(t.trap, 32820), QStringLiteral("547:00"));
    QCOMPARE(t.reporter.texts.size(), 3);
    QCOMPARE(t.reporter.texts.at(0), t.reporter.texts.at(2));
}

void TestCommon::sec2timeAbortEndsProgram()
{
    FakeTrap t;
    t.reporter.answers = {Answer::Abort};
    static_cast<void>(SEC2TIME(t.trap, -32761));
    QCOMPARE(t.end.count, 1);
    QCOMPARE(t.reporter.texts.size(), 1);
}

void TestCommon::time2sec_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("seconds");
    QTest::newRow("zero") << "00:00" << 0;
    QTest::newRow("twelve minutes") << "12:00" << 720;
    QTest::newRow("largest two-digit") << "99:59" << 5999;
    QTest::newRow("third character ignored") << "12x30" << 750;
    QTest::newRow("seconds above 59") << "00:75" << 75;
    QTest::newRow("signed fields") << "-1:-1" << -61;
    QTest::newRow("longer text") << "10:00 and more" << 600;
    QTest::newRow("blank padded") << " 5: 7" << 307;
}

void TestCommon::time2sec()
{
    QFETCH(QString, text);
    QFETCH(int, seconds);
    FakeTrap t;
    QCOMPARE(TIME2SEC(t.trap, text), seconds);
    QVERIFY(t.reporter.texts.isEmpty());
}

void TestCommon::time2secMismatch_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("reports");
    QTest::addColumn<int>("secondsAfterIgnore");
    QTest::newRow("what SEC2TIME writes for 100 minutes") << "100:00" << 1 << 600;
    QTest::newRow("minus one minute minus one second") << "-01:-01" << 1 << 0;
    QTest::newRow("short text") << "5:00" << 1 << 0;
    QTest::newRow("minutes not a number") << "ab:30" << 1 << 30;
    QTest::newRow("empty") << "" << 2 << 0;
    QTest::newRow("seconds missing") << "12:" << 1 << 720;
}

void TestCommon::time2secMismatch()
{
    QFETCH(QString, text);
    QFETCH(int, reports);
    QFETCH(int, secondsAfterIgnore);
    FakeTrap t;
    QCOMPARE(TIME2SEC(t.trap, text), secondsAfterIgnore);
    QCOMPARE(t.reporter.texts.size(), reports);
    for (const QString& report : std::as_const(t.reporter.texts))
        QVERIFY2(reportedLine(report, 13, "Type mismatch", "TIME2SEC") > 0, qPrintable(report));
}

void TestCommon::linesIdentifyTheFailingStep()
{
    FakeTrap t;
    static_cast<void>(SEC2TIME(t.trap, std::numeric_limits<std::int32_t>::max())); // minutes, then rest
    static_cast<void>(TIME2SEC(t.trap, QString()));                                 // minutes, then seconds
    QCOMPARE(t.reporter.texts.size(), 4);
    const int sec2timeMinutes = reportedLine(t.reporter.texts.at(0), 6, "Overflow", "SEC2TIME");
    const int sec2timeRest = reportedLine(t.reporter.texts.at(1), 6, "Overflow", "SEC2TIME");
    const int time2secMinutes = reportedLine(t.reporter.texts.at(2), 13, "Type mismatch", "TIME2SEC");
    const int time2secSeconds = reportedLine(t.reporter.texts.at(3), 13, "Type mismatch", "TIME2SEC");
    // Numbered through the module in source order: SEC2TIME's lines come before TIME2SEC's.
    QVERIFY(0 < sec2timeMinutes);
    QVERIFY(sec2timeMinutes < sec2timeRest);
    QVERIFY(sec2timeRest < time2secMinutes);
    QVERIFY(time2secMinutes < time2secSeconds);
}

void TestCommon::nothingRunsAfterTheProgramEnded()
{
    FakeTrap t;
    t.trap.endProgram();
    QCOMPARE(TIME2SEC(t.trap, QStringLiteral("12:00")), 0);
    QCOMPARE(SEC2TIME(t.trap, 60), QString());
    QVERIFY(t.reporter.texts.isEmpty());
}

QTEST_GUILESS_MAIN(TestCommon)
#include "tst_common.moc"
