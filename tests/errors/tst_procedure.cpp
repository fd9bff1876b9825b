#include "errors/Procedure.h"
#include "errors/RuntimeError.h"
#include "fakes/FakeErrors.h"

#include <QTest>

#include <new>

using korvo::errors::Answer;
using korvo::errors::Procedure;
using korvo::errors::raise;
using korvo::fakes::FakeTrap;

class TestProcedure final : public QObject
{
    Q_OBJECT

private slots:
    void reportText_data();
    void reportText();
    void lineIsTheStepsSourceLine();
    void retryThatKeepsFailingReportsEachTime();
    void retryThatSucceedsCarriesOn();
    void ignoreLeavesTargetAndCarriesOn();
    void abortEndsProgramAndNothingRunsAfter();
    void abortInsideCalledProcedureStopsTheCaller();
    void otherAnswerLeavesTheProcedure();
    void skipErrorsSkipsSilently();
    void quietExitLeavesSilently();
    void failureNeverReachesTheCaller();
    void outOfMemoryIsReported();
    void constStepRuns();
};

void TestProcedure::reportText_data()
{
    QTest::addColumn<int>("number");
    QTest::addColumn<QString>("description");
    QTest::addColumn<QString>("module");
    QTest::addColumn<QString>("procedure");
    QTest::addColumn<int>("line");
    QTest::addColumn<QString>("expected");

    QTest::newRow("overflow in common") << 6 << QString() << "common" << "SEC2TIME" << 6
                                        << "Error 6\r\nOverflow\r\nLocation: KorvoTimer.common.SEC2TIME\r\nLine 6";
    QTest::newRow("settings ok") << 9 << QString() << "frmSet" << "cmdOK_Click" << 90
                                 << "Error 9\r\nSubscript out of range\r\nLocation: KorvoTimer.frmSet.cmdOK_Click\r\nLine 90";
    QTest::newRow("property accessor") << 13 << QString() << "class_Elastic" << "DoNotResizeTag[Let]" << 1234
                                       << "Error 13\r\nType mismatch\r\n"
                                          "Location: KorvoTimer.class_Elastic.DoNotResizeTag[Let]\r\nLine 1234";
    QTest::newRow("negative number") << -5 << "Custom failure" << "frmMAIN" << "Timer1_Timer" << 301
                                     << "Error -5\r\nCustom failure\r\nLocation: KorvoTimer.frmMAIN.Timer1_Timer\r\nLine 301";
    QTest::newRow("crash error") << 65535 << "Exception: Access Violation" << "frmMAIN" << "cmdSTART_Click" << 7
                                 << "Error 65535\r\nException: Access Violation\r\n"
                                    "Location: KorvoTimer.frmMAIN.cmdSTART_Click\r\nLine 7";
}

void TestProcedure::reportText()
{
    QFETCH(int, number);
    QFETCH(QString, description);
    QFETCH(QString, module);
    QFETCH(QString, procedure);
    QFETCH(int, line);
    QFETCH(QString, expected);

    FakeTrap t;
    const QByteArray moduleName = module.toLatin1();
    const QByteArray procedureName = procedure.toLatin1();
    Procedure p(t.trap, moduleName.constData(), procedureName.constData());
    p.at(line, [&] {
        if (description.isNull())
            raise(number);
        raise(number, description);
    });
    QCOMPARE(t.reporter.texts, QStringList{expected});
}

void TestProcedure::lineIsTheStepsSourceLine()
{
    FakeTrap t;
    Procedure p(t.trap, "frmMAIN", "PAUSED");
    p([] {});
    const int failingLine = __LINE__ + 1;
    p([] { raise(5); });
    QCOMPARE(t.reporter.texts.size(), 1);
    QVERIFY(t.reporter.texts.first().endsWith(QStringLiteral("\r\nLine ") + QString::number(failingLine)));
}

void TestProcedure::retryThatKeepsFailingReportsEachTime()
{
    FakeTrap t;
    t.reporter.answers = {Answer::Retry, Answer::Retry, Answer::Ignore};
    int attempts = 0;
    bool nextStepRan = false;
    Procedure p(t.trap, "frmMAIN", "cmd1UP_Click");
    p.at(40, [&] {
        ++attempts;
        raise(6);
    });
    p([&] { nextStepRan = true; });

    QCOMPARE(attempts, 3);
    QCOMPARE(t.reporter.texts.size(), 3);
    QCOMPARE(t.reporter.texts.at(0), t.reporter.texts.at(2));
    QVERIFY(nextStepRan);
    QCOMPARE(t.end.count, 0);
}

void TestProcedure::retryThatSucceedsCarriesOn()
{
    FakeTrap t;
    t.reporter.answers = {Answer::Retry};
    int attempts = 0;
    int target = 0;
    Procedure p(t.trap, "frmMAIN", "cmd1DW_Click");
    p([&] {
        if (++attempts == 1)
            raise(6);
        target = 42;
    });
    QCOMPARE(attempts, 2);
    QCOMPARE(target, 42);
    QCOMPARE(t.reporter.texts.size(), 1);
}

void TestProcedure::ignoreLeavesTargetAndCarriesOn()
{
    FakeTrap t;
    t.reporter.answers = {Answer::Ignore};
    std::int16_t target = 17;
    int after = 0;
    Procedure p(t.trap, "frmSet", "vsTIMEMIN_Change");
    p([&] { target = static_cast<std::int16_t>([]() -> int { raise(6); }()); });
    p([&] { after = 1; });
    QCOMPARE(target, std::int16_t{17});
    QCOMPARE(after, 1);
    QCOMPARE(t.reporter.texts.size(), 1);
}

void TestProcedure::abortEndsProgramAndNothingRunsAfter()
{
    FakeTrap t;
    t.reporter.answers = {Answer::Abort};
    int ran = 0;
    {
        Procedure p(t.trap, "frmMAIN", "cmdSTART_Click");
        p([] { raise(6); });
        p([&] { ++ran; });
        QVERIFY(!p.active());
    }
    Procedure later(t.trap, "frmMAIN", "Timer1_Timer");
    later([&] { ++ran; });
    later([] { raise(6); });

    QCOMPARE(t.end.count, 1);
    QCOMPARE(ran, 0);
    QCOMPARE(t.reporter.texts.size(), 1);
}

void TestProcedure::abortInsideCalledProcedureStopsTheCaller()
{
    FakeTrap t;
    t.reporter.answers = {Answer::Abort};
    bool callerCarriedOn = false;
    Procedure outer(t.trap, "frmMAIN", "cmdNEXTPERIOD_Click");
    outer([&] {
        Procedure inner(t.trap, "frmMAIN", "SHOW_TIME");
        inner([] { raise(13); });
    });
    outer([&] { callerCarriedOn = true; });

    QVERIFY(!callerCarriedOn);
    QCOMPARE(t.end.count, 1);
    QVERIFY(t.reporter.texts.first().contains(QLatin1String("KorvoTimer.frmMAIN.SHOW_TIME")));
}

void TestProcedure::otherAnswerLeavesTheProcedure()
{
    FakeTrap t;
    t.reporter.answers = {Answer::Cancel};
    bool after = false;
    Procedure p(t.trap, "frmSet", "cmdADD_Click");
    p([] { raise(5); });
    p([&] { after = true; });
    QVERIFY(!after);
    QVERIFY(!p.active());
    QCOMPARE(t.end.count, 0);

    Procedure next(t.trap, "frmSet", "cmdREMOVE_Click");
    next([&] { after = true; });
    QVERIFY(after);
}

void TestProcedure::skipErrorsSkipsSilently()
{
    FakeTrap t;
    t.reporter.answers = {Answer::Ignore};
    int value = 1;
    int after = 0;
    Procedure p(t.trap, "frmMAIN", "cmdPAUSE_Click");
    p([] { raise(6); });
    p.skipErrors();
    p([&] {
        raise(6);
        value = 2;
    });
    p([] { raise(28); });
    p([&] { after = 1; });

    QCOMPARE(t.reporter.texts.size(), 1);
    QCOMPARE(value, 1);
    QCOMPARE(after, 1);
    QVERIFY(p.active());
}

void TestProcedure::quietExitLeavesSilently()
{
    FakeTrap t;
    int before = 0;
    int after = 0;
    Procedure p(t.trap, "frmMAIN", "SHOW_TIME");
    p.quietExit();
    p([&] { before = 1; });
    p([] { raise(9); });
    p([&] { after = 1; });

    QCOMPARE(before, 1);
    QCOMPARE(after, 0);
    QVERIFY(t.reporter.texts.isEmpty());
    QVERIFY(!p.active());
    QCOMPARE(t.end.count, 0);
}

void TestProcedure::failureNeverReachesTheCaller()
{
    FakeTrap t;
    int callerSteps = 0;
    Procedure outer(t.trap, "frmMAIN", "cmdSETTING_Click");
    outer([&] {
        Procedure inner(t.trap, "frmSet", "cmdOK_Click");
        inner([] { raise(9); });
        ++callerSteps;
    });
    outer([&] { ++callerSteps; });

    QCOMPARE(callerSteps, 2);
    QCOMPARE(t.reporter.texts.size(), 1);
    QVERIFY(t.reporter.texts.first().contains(QLatin1String("Location: KorvoTimer.frmSet.cmdOK_Click\r\n")));
}

void TestProcedure::outOfMemoryIsReported()
{
    FakeTrap t;
    Procedure p(t.trap, "frmSet", "cmdLOAD_Click");
    p.at(12, [] { throw std::bad_alloc(); });
    QCOMPARE(t.reporter.texts,
             QStringList{QStringLiteral("Error 7\r\nOut of memory\r\nLocation: KorvoTimer.frmSet.cmdLOAD_Click\r\nLine 12")});
}

void TestProcedure::constStepRuns()
{
    FakeTrap t;
    int ran = 0;
    const auto step = [&ran] { ++ran; };
    Procedure p(t.trap, "frmMAIN", "UNPAUSED");
    p(step);
    p(step);
    QCOMPARE(ran, 2);
}

QTEST_GUILESS_MAIN(TestProcedure)
#include "tst_procedure.moc"
