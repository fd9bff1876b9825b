#include "errors/CrashFilter.h"
#include "errors/Procedure.h"
#include "errors/Protector.h"
#include "errors/RuntimeError.h"
#include "errors/StepGuard.h"
#include "support/FakeErrors.h"

#include <QCoreApplication>
#include <QTest>

#include <climits>
#include <csignal>
#include <new>
#include <stdexcept>

#include <pthread.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

using korvo::errors::Answer;
using korvo::errors::Procedure;
using korvo::fakes::FakeTrap;
namespace err = korvo::errors;

namespace {

// The faults below must reach the processor: the sanitizers would otherwise stop them first.
#define KORVO_REAL_FAULT __attribute__((noinline, no_sanitize("address", "undefined")))

KORVO_REAL_FAULT void writeThroughNull()
{
    volatile int* volatile target = nullptr;
    *target = 1;
}

KORVO_REAL_FAULT int divideByZero()
{
    volatile int numerator = 1;
    volatile int zero = 0;
    return numerator / zero;
}

__attribute__((noinline)) int recurse(int depth)
{
    volatile char pad[512];
    pad[0] = static_cast<char>(depth);
    return depth == INT_MAX ? pad[0] : recurse(depth + 1) + pad[0];
}

QString report(int number, const char* text, const QByteArray& location, int line)
{
    return QStringLiteral("Error %1\r\n%2\r\nLocation: KorvoTimer.%3\r\nLine %4")
        .arg(QString::number(number), QLatin1String(text), QLatin1String(location), QString::number(line));
}

} // namespace

class TestErrors final : public QObject
{
    Q_OBJECT

private slots:
    void initializeRegistersOnce(); // first, while the process has no fault handler
    void reportText_data();
    void reportText();
    void retryThatFailsAgainReportsAgain();
    void answerDecides_data();
    void answerDecides();
    void modes_data();
    void modes();
    void exceptionTexts();
    void stackOverflowAddress();
    void faultInStepIsReported_data();
    void faultInStepIsReported();
    void faultBelongsToInnermostStep();
    void stackOverflowInStep();
    void faultOutsideStepKeepsDefault();
};

void TestErrors::initializeRegistersOnce()
{
    FakeTrap t;
    QCOMPARE(err::faultHandlerRegistrations(), 0);
    err::vbwInitializeProtector(t.trap);

    // Put one signal back to the default: a second start must not register anything again.
    struct sigaction standard{}, installed{}, after{};
    standard.sa_handler = SIG_DFL;
    sigaction(SIGFPE, &standard, &installed);
    err::vbwInitializeProtector(t.trap);
    sigaction(SIGFPE, &installed, &after);

    QVERIFY((installed.sa_flags & SA_SIGINFO) != 0 && (installed.sa_flags & SA_ONSTACK) != 0);
    QVERIFY((after.sa_flags & SA_SIGINFO) == 0 && after.sa_handler == SIG_DFL);
    QCOMPARE(err::faultHandlerRegistrations(), 1);
}

void TestErrors::reportText_data()
{
    QTest::addColumn<int>("number");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("procedure");
    QTest::newRow("standard text") << 9 << "Subscript out of range" << "cmdOK_Click";
    QTest::newRow("property accessor") << 13 << "Type mismatch" << "DoNotResizeTag[Let]";
    QTest::newRow("negative number") << -5 << "Custom failure" << "Timer1_Timer";
    QTest::newRow("out of memory") << 7 << "Out of memory" << "cmdLOAD_Click";
    QTest::newRow("a library's exception") << 51 << "vector index 3 of 0" << "cmdSAVE_Click";
}

void TestErrors::reportText()
{
    QFETCH(int, number);
    QFETCH(QString, text);
    QFETCH(QString, procedure);
    FakeTrap t;
    const QByteArray name = procedure.toLatin1();
    Procedure p(t.trap, "frmSet", name.constData());
    p.at(90, [&] {
        if (number == 7)
            throw std::bad_alloc(); // the system's own out-of-memory failure, not a raised error
        if (number == 51)
            throw std::out_of_range("vector index 3 of 0"); // not one of the program's own errors
        number < 0 ? err::raise(number, text) : err::raise(number); // a number of its own brings its text
    });
    QCOMPARE(t.reporter.texts, QStringList{report(number, qPrintable(text), "frmSet." + name, 90)});
}

void TestErrors::retryThatFailsAgainReportsAgain()
{
    FakeTrap t;
    t.reporter.answers = {Answer::Retry, Answer::Retry};
    int attempts = 0;
    int target = 0;
    Procedure p(t.trap, "frmMAIN", "cmd1UP_Click");
    const int line = __LINE__ + 1; // a step is reported by its own source line
    p([&] {
        if (++attempts < 3)
            err::raise(6);
        target = 42;
    });
    const QString text = report(6, "Overflow", "frmMAIN.cmd1UP_Click", line);
    QCOMPARE(t.reporter.texts, QStringList({text, text}));
    QCOMPARE(target, 42);
}

// A failure in a called procedure: Ignore skips the step, any other answer but Abort leaves only the
// failing procedure, Abort ends the program and nothing runs after it.
void TestErrors::answerDecides_data()
{
    QTest::addColumn<Answer>("answer");
    QTest::addColumn<int>("ran");
    QTest::addColumn<int>("ended");
    QTest::newRow("ignore") << Answer::Ignore << 7 << 0;
    QTest::newRow("cancel") << Answer::Cancel << 6 << 0;
    QTest::newRow("abort") << Answer::Abort << 0 << 1;
}

void TestErrors::answerDecides()
{
    QFETCH(Answer, answer);
    QFETCH(int, ran);
    QFETCH(int, ended);
    FakeTrap t;
    t.reporter.answers = {answer};
    std::int16_t target = 17;
    int steps = 0;
    {
        Procedure outer(t.trap, "frmMAIN", "cmdNEXTPERIOD_Click");
        outer([&] {
            Procedure inner(t.trap, "frmMAIN", "SHOW_TIME");
            inner([&] { target = static_cast<std::int16_t>([]() -> int { err::raise(6); }()); });
            inner([&] { steps |= 1; });
        });
        outer([&] { steps |= 2; });
    }
    Procedure later(t.trap, "frmMAIN", "Timer1_Timer");
    later([&] { steps |= 4; });
    later([] { err::raise(6); });

    QCOMPARE(target, std::int16_t{17});
    QCOMPARE(steps, ran);
    QCOMPARE(t.end.count, ended);
    QCOMPARE(t.reporter.texts.size(), ended == 1 ? 1 : 2);
    QVERIFY(t.reporter.texts.first().contains(QLatin1String("Location: KorvoTimer.frmMAIN.SHOW_TIME\r\n")));
}

void TestErrors::modes_data()
{
    QTest::addColumn<bool>("skip");
    QTest::newRow("skipErrors") << true;
    QTest::newRow("quietExit") << false;
}

void TestErrors::modes()
{
    QFETCH(bool, skip);
    FakeTrap t;
    t.reporter.answers = {Answer::Abort}; // any report would end the program
    int value = 1;
    int after = 0;
    Procedure p(t.trap, "frmMAIN", "cmdPAUSE_Click");
    skip ? p.skipErrors() : p.quietExit();
    p([&] { value = divideByZero(); });
    p([&] { ++after; });
    p([] { err::raise(28); });
    p([&] { ++after; });

    QVERIFY(t.reporter.texts.isEmpty());
    QCOMPARE(value, 1);
    QCOMPARE(after, skip ? 2 : 0);
    QCOMPARE(p.active(), skip);
}

void TestErrors::exceptionTexts()
{
    QCOMPARE(err::vbwExceptionText(0xC0000007), QStringLiteral("Unknown Exception"));
    const struct
    {
        int signal;
        int signalCode;
        const char* text;
    } faults[] = {{SIGFPE, FPE_INTOVF, "Exception: Integer Overflow"},
                  {SIGFPE, 99, "Unknown Exception"},
                  {SIGILL, ILL_ILLOPC, "Exception: Illegal Instruction"},
                  {SIGBUS, BUS_ADRERR, "Exception: In Page Error"}};
    for (const auto& f : faults) {
        err::FaultRecords records;
        err::describeFault(f.signal, f.signalCode, &records, false, records);
        QCOMPARE(err::vbwExceptionText(err::lastExceptionRecord(records.fault).code), QLatin1String(f.text));
    }
    // A chain of records is named by its last one.
    err::ExceptionRecord second;
    second.code = err::exception_code::IntegerDivideByZero;
    err::ExceptionRecord first;
    first.code = err::exception_code::Breakpoint;
    first.associated = &second;
    try {
        err::vbwExceptionFilter(first);
    } catch (const err::RuntimeError& e) {
        QCOMPARE(e.number(), 65535);
        QCOMPARE(e.description(), QStringLiteral("Exception: Integer Divide By Zero"));
        return;
    }
    QFAIL("the filter returned");
}

void TestErrors::stackOverflowAddress()
{
    const std::uintptr_t low = 0x7f0000100000;
    const err::StackBounds stack{low, low + 0x800000, 4096};
    QVERIFY(err::isStackOverflowAddress(low - 0x8000, stack));  // one large frame stepped over the guard page
    QVERIFY(!err::isStackOverflowAddress(low - 0x100000, stack)); // far below: an ordinary bad pointer
    QVERIFY(err::isStackOverflowAddress(low + 0x10, err::StackBounds{low, low + 0x800000, 0})); // could not grow
    QVERIFY(err::isStackOverflowAddress(0x10, err::StackBounds{0x4000, 0x20000, 4096}));        // at bottom of memory
}

void TestErrors::faultInStepIsReported_data()
{
    QTest::addColumn<bool>("nullWrite");
    QTest::addColumn<QString>("text");
    QTest::newRow("null write") << true << "Exception: Access Violation";
    QTest::newRow("integer division by zero") << false << "Exception: Integer Divide By Zero";
}

// Retry faults again and reports again; Ignore then lets the procedure finish.
void TestErrors::faultInStepIsReported()
{
    QFETCH(bool, nullWrite);
    QFETCH(QString, text);
    FakeTrap t;
    t.reporter.answers = {Answer::Retry, Answer::Ignore};
    int value = 5;
    int after = 0;
    Procedure p(t.trap, "frmMAIN", "cmdSTART_Click");
    const int line = __LINE__ + 1;
    p([&] { nullWrite ? writeThroughNull() : static_cast<void>(value = divideByZero()); });
    p([&] { after = 1; });

    const QString expected = report(65535, qPrintable(text), "frmMAIN.cmdSTART_Click", line);
    QCOMPARE(t.reporter.texts, QStringList({expected, expected}));
    QCOMPARE(value, 5);
    QCOMPARE(after, 1);
}

void TestErrors::faultBelongsToInnermostStep()
{
    FakeTrap t;
    Procedure outer(t.trap, "frmMAIN", "cmdNEXTPERIOD_Click");
    outer.at(20, [&] {
        Procedure inner(t.trap, "frmMAIN", "SHOW_TIME");
        inner.at(10, [] { writeThroughNull(); });
        static_cast<void>(divideByZero()); // back in the outer step: the caller's again
    });
    QCOMPARE(t.reporter.texts,
             QStringList({report(65535, "Exception: Access Violation", "frmMAIN.SHOW_TIME", 10),
                          report(65535, "Exception: Integer Divide By Zero", "frmMAIN.cmdNEXTPERIOD_Click", 20)}));
}

void TestErrors::stackOverflowInStep()
{
    // A thread with a small stack makes the overflow quick and independent of the shell's stack limit.
    static struct
    {
        FakeTrap t;
        int line = 0;
        bool finished = false;
    } run;
    const auto body = [](void*) -> void* {
        Procedure p(run.t.trap, "frmMAIN", "Timer1_Timer");
        run.line = __LINE__ + 1;
        p([] { static_cast<void>(recurse(0)); });
        p([] { run.finished = true; });
        return nullptr;
    };
    pthread_attr_t attributes;
    QCOMPARE(pthread_attr_init(&attributes), 0);
    QCOMPARE(pthread_attr_setstacksize(&attributes, 512 * 1024), 0);
    pthread_t thread{};
    QCOMPARE(pthread_create(&thread, &attributes, body, nullptr), 0);
    pthread_attr_destroy(&attributes);
    QCOMPARE(pthread_join(thread, nullptr), 0);
    QCOMPARE(run.t.reporter.texts,
             QStringList{report(65535, "Exception: Stack Overflow", "frmMAIN.Timer1_Timer", run.line)});
    QVERIFY(run.finished);
}

// Steps that ended, however they ended, must not be taken for a step still running; and a fault signal
// that was sent, not caused, is no fault of the running step. Either keeps the system's default.
void TestErrors::faultOutsideStepKeepsDefault()
{
    for (const int signal : {SIGSEGV, SIGFPE}) {
        const pid_t pid = fork();
        if (pid == 0) {
            prctl(PR_SET_DUMPABLE, 0); // no core file for the expected crash
            FakeTrap t;
            {
                Procedure p(t.trap, "frmMAIN", "PAUSED");
                p([&] {
                    Procedure inner(t.trap, "frmMAIN", "SHOW_TIME");
                    inner([] { err::raise(6); });
                    inner([] { writeThroughNull(); });
                });
                p.quietExit();
                p([] { writeThroughNull(); });
            }
            if (t.reporter.texts.size() == 2 && !err::insideStep()) {
                Procedure p(t.trap, "frmMAIN", "cmdSTART_Click");
                if (signal == SIGFPE)
                    p([] { ::raise(SIGFPE); });
                writeThroughNull();
            }
            _exit(0);
        }
        int status = 0;
        QCOMPARE(waitpid(pid, &status, 0), pid);
        QVERIFY2(WIFSIGNALED(status) && WTERMSIG(status) == signal, qPrintable(QString::number(status)));
    }
}

// Qt Test's own crash handler would take the fault signals before the protector is installed and would
// trace the crash that the forked child is meant to die of.
int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QStringList arguments = QCoreApplication::arguments();
    arguments.insert(1, QStringLiteral("-nocrashhandler"));
    TestErrors test;
    return QTest::qExec(&test, arguments);
}
#include "tst_errors.moc"
