#include "errors/Procedure.h"
#include "errors/Protector.h"
#include "errors/RuntimeError.h"
#include "support/FakeErrors.h"

#include <QCoreApplication>
#include <QTest>
#include <QThread>

#include <climits>
#include <functional>
#include <new>
#include <stdexcept>

using korvo::errors::Answer;
using korvo::errors::Procedure;
using korvo::fakes::FakeTrap;
namespace err = korvo::errors;
using Fault = std::function<void()>;

namespace {

// The faults below must reach the processor: the sanitizers would otherwise stop them first.
#define KORVO_REAL_FAULT __attribute__((noinline, no_sanitize("address", "undefined")))

KORVO_REAL_FAULT void writeThroughNull()
{
    volatile int* volatile target = nullptr;
    *target = 1;
}

KORVO_REAL_FAULT void divideByZero()
{
    volatile int numerator = 1;
    volatile int zero = 0;
    volatile int quotient = numerator / zero;
    static_cast<void>(quotient);
}

__attribute__((noinline)) int recurse(int depth)
{
    volatile char pad[512];
    pad[0] = static_cast<char>(depth);
    return depth == INT_MAX ? pad[0] : recurse(depth + 1) + pad[0];
}

QString report(int number, const QString& text, const QString& location, int line)
{
    const QString head = QStringLiteral("Error %1\r\n%2\r\nLocation: KorvoTimer.%3\r\nLine %4");
    return head.arg(number).arg(text, location).arg(line);
}

} // namespace

class TestErrors final : public QObject
{
    Q_OBJECT

private slots:
    // Once per process, as the clock does. (That a second call adds no handler: tests/clock/tst_frmmain.)
    void initTestCase()
    {
        FakeTrap t;
        err::vbwInitializeProtector(t.trap);
    }

    // A step of SHOW_TIME, called from a step of cmdNEXTPERIOD_Click, fails on its first two runs. What runs
    // after it: 1 the rest of SHOW_TIME, 2 the rest of cmdNEXTPERIOD_Click, 4 the next procedure. A failed
    // step that is not run again assigns nothing.
    void answers_data()
    {
        QTest::addColumn<int>("number"); // 7, 51: the system's out-of-memory failure, a library's exception
        QTest::addColumn<QString>("text");
        QTest::addColumn<Procedure::Mode>("mode");
        QTest::addColumn<QList<Answer>>("answers");
        QTest::addColumn<int>("reports");
        QTest::addColumn<int>("ran");
        QTest::addColumn<bool>("assigned");
        QTest::addColumn<int>("ended");
        using M = Procedure::Mode;
        using A = Answer;
        QTest::newRow("retry until it passes")
            << 6 << "Overflow" << M::Report << QList{A::Retry, A::Retry} << 2 << 7 << true << 0;
        QTest::newRow("cancel") << 13 << "Type mismatch" << M::Report << QList{A::Cancel} << 1 << 6 << false << 0;
        QTest::newRow("abort") << 7 << "Out of memory" << M::Report << QList{A::Abort} << 1 << 0 << false << 1;
        QTest::newRow("a library's exception")
            << 51 << "vector index 3 of 0" << M::Report << QList{A::Ignore} << 1 << 7 << false << 0;
        QTest::newRow("skipErrors") << 6 << "Overflow" << M::SkipErrors << QList<A>{} << 0 << 7 << false << 0;
        QTest::newRow("quietExit") << 6 << "Overflow" << M::QuietExit << QList<A>{} << 0 << 6 << false << 0;
    }

    void answers()
    {
        QFETCH(int, number);
        QFETCH(QString, text);
        QFETCH(Procedure::Mode, mode);
        QFETCH(QList<Answer>, answers);
        QFETCH(int, reports);
        QFETCH(int, ran);
        QFETCH(bool, assigned);
        QFETCH(int, ended);
        FakeTrap t;
        t.reporter.answers.assign(answers.begin(), answers.end());
        int runs = 0;
        int steps = 0;
        int line = 0;
        std::int16_t target = 17;
        {
            Procedure outer(t.trap, "frmMAIN", "cmdNEXTPERIOD_Click");
            outer([&] {
                Procedure inner(t.trap, "frmMAIN", "SHOW_TIME");
                mode == Procedure::Mode::SkipErrors ? inner.skipErrors()
                    : mode == Procedure::Mode::QuietExit ? inner.quietExit() : void();
                line = __LINE__ + 1; // a step is reported by its own source line
                inner([&] {
                    if (++runs <= 2 && number == 7)
                        throw std::bad_alloc();
                    if (runs <= 2 && number == 51) // not one of the program's own errors
                        throw std::out_of_range(text.toStdString());
                    if (runs <= 2)
                        err::raise(number);
                    target = 42;
                });
                inner([&] { steps |= 1; });
            });
            outer([&] { steps |= 2; });
        }
        Procedure later(t.trap, "frmMAIN", "Timer1_Timer");
        later([&] { steps |= 4; });

        QCOMPARE(t.reporter.texts, QStringList(reports, report(number, text, "frmMAIN.SHOW_TIME", line)));
        QCOMPARE(steps, ran);
        QCOMPARE(target, assigned ? 42 : 17);
        QCOMPARE(t.end.count, ended);
    }

    // A processor fault in a step is error 65535, named by the crash filter and reported by the innermost
    // step's procedure. Retry faults and reports again; Ignore then lets the procedure finish. (A division by
    // zero is the outer step's fault.)
    void faults_data()
    {
        QTest::addColumn<Fault>("fault");
        QTest::addColumn<QString>("text");
        QTest::newRow("null write") << Fault(writeThroughNull) << "Exception: Access Violation";
        QTest::newRow("stack overflow") << Fault([] { recurse(0); }) << "Exception: Stack Overflow";
    }

    void faults()
    {
        QFETCH(Fault, fault);
        QFETCH(QString, text);
        FakeTrap t;
        t.reporter.answers = {Answer::Retry, Answer::Ignore};
        bool finished = false;
        // On a thread with a small stack, so that running out of it is quick and does not depend on the
        // shell's stack limit.
        std::unique_ptr<QThread> thread(QThread::create([&] {
            Procedure outer(t.trap, "frmMAIN", "cmdNEXTPERIOD_Click");
            outer.at(20, [&] {
                Procedure inner(t.trap, "frmMAIN", "SHOW_TIME");
                inner.at(10, fault);
                inner.at(11, [&] { finished = true; });
                divideByZero(); // back in the outer step: the caller's again
            });
        }));
        thread->setStackSize(512 * 1024);
        thread->start();
        thread->wait();
        const QString inner = report(65535, text, "frmMAIN.SHOW_TIME", 10);
        const QString outer = report(65535, "Exception: Integer Divide By Zero", "frmMAIN.cmdNEXTPERIOD_Click", 20);
        QCOMPARE(t.reporter.texts, QStringList({inner, inner, outer}));
        QVERIFY(finished);
    }
};

// Qt Test's own crash handler would take the fault signals before the protector is installed.
int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QStringList arguments = QCoreApplication::arguments();
    arguments.insert(1, QStringLiteral("-nocrashhandler"));
    TestErrors test;
    return QTest::qExec(&test, arguments);
}
#include "tst_errors.moc"
