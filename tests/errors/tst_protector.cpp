#include "errors/Procedure.h"
#include "errors/Protector.h"
#include "errors/RuntimeError.h"
#include "errors/StepGuard.h"
#include "fakes/FakeErrors.h"

#include <QCoreApplication>
#include <QTemporaryFile>
#include <QTest>

#include <climits>
#include <csignal>

#include <pthread.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

using korvo::errors::Answer;
using korvo::errors::ExceptionRecord;
using korvo::errors::FaultRecords;
using korvo::errors::Procedure;
using korvo::errors::RuntimeError;
using korvo::errors::StackBounds;
using korvo::fakes::FakeTrap;
namespace code = korvo::errors::exception_code;

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

KORVO_REAL_FAULT void illegalInstruction()
{
#if defined(__x86_64__) || defined(__i386__)
    asm volatile("ud2");
#elif defined(__aarch64__)
    asm volatile("udf #0");
#endif
}

KORVO_REAL_FAULT char readByte(const volatile char* where)
{
    return *where;
}

volatile int g_depthLimit = INT_MAX;

__attribute__((noinline)) int recurse(int depth)
{
    volatile char pad[512];
    pad[0] = static_cast<char>(depth);
    if (depth >= g_depthLimit)
        return pad[0];
    return recurse(depth + 1) + pad[0];
}

/// A file mapped over two pages and then cut to nothing: reading the mapping is a bus error.
class VanishedMapping final
{
public:
    VanishedMapping()
    {
        const auto size = static_cast<qint64>(2 * sysconf(_SC_PAGESIZE));
        if (!m_file.open() || !m_file.resize(size))
            return;
        void* mapped = mmap(nullptr, static_cast<std::size_t>(size), PROT_READ, MAP_SHARED, m_file.handle(), 0);
        if (mapped == MAP_FAILED)
            return;
        m_data = static_cast<const char*>(mapped);
        m_size = static_cast<std::size_t>(size);
        m_file.resize(0);
    }
    ~VanishedMapping()
    {
        if (m_data != nullptr)
            munmap(const_cast<char*>(m_data), m_size);
    }
    Q_DISABLE_COPY_MOVE(VanishedMapping)

    [[nodiscard]] const char* data() const { return m_data; }

private:
    QTemporaryFile m_file;
    const char* m_data = nullptr;
    std::size_t m_size = 0;
};

enum class Fault { NullWrite, DivideByZero, IllegalInstruction, BusError };

void provoke(Fault fault, const VanishedMapping& mapping)
{
    switch (fault) {
    case Fault::NullWrite: writeThroughNull(); break;
    case Fault::DivideByZero: static_cast<void>(divideByZero()); break;
    case Fault::IllegalInstruction: illegalInstruction(); break;
    case Fault::BusError: static_cast<void>(readByte(mapping.data())); break;
    }
}

QString crashReport(const char* text, const char* location, int line)
{
    return QStringLiteral("Error 65535\r\n") + QLatin1String(text) + QStringLiteral("\r\nLocation: KorvoTimer.")
        + QLatin1String(location) + QStringLiteral("\r\nLine ") + QString::number(line);
}

/// Runs `child` in a forked copy of this process and returns how that copy ended.
template <class Child>
int statusOfChild(Child child)
{
    const pid_t pid = fork();
    if (pid == 0) {
        prctl(PR_SET_DUMPABLE, 0); // no core file for the expected crash
        child();
        _exit(0);
    }
    int status = 0;
    if (pid < 0 || waitpid(pid, &status, 0) != pid)
        return -1;
    return status;
}

bool diedOf(int status, int signal)
{
    return status != -1 && WIFSIGNALED(status) && WTERMSIG(status) == signal;
}

struct sigaction currentAction(int signal)
{
    struct sigaction action{};
    sigaction(signal, nullptr, &action);
    return action;
}

bool isDefault(const struct sigaction& action)
{
    return (action.sa_flags & SA_SIGINFO) == 0 && action.sa_handler == SIG_DFL;
}

void ensureProtector()
{
    FakeTrap t;
    korvo::errors::vbwInitializeProtector(t.trap);
}

struct OverflowRun
{
    FakeTrap t;
    bool finished = false;
    int line = 0;
};

void* overflowOnSmallStack(void* argument)
{
    auto* run = static_cast<OverflowRun*>(argument);
    Procedure p(run->t.trap, "frmMAIN", "Timer1_Timer");
    run->line = __LINE__ + 1;
    p([] { static_cast<void>(recurse(0)); });
    p([run] { run->finished = true; });
    return nullptr;
}

} // namespace

Q_DECLARE_METATYPE(Fault)

class TestProtector final : public QObject
{
    Q_OBJECT

private slots:
    // These two run first, while the process has no handler installed.
    void faultBeforeInstallingKeepsDefault();
    void initializeRegistersOnce();

    void exceptionText_data();
    void exceptionText();
    void lastRecordOfChainNamesTheException();
    void filterRaisesCrashError();
    void faultMapping_data();
    void faultMapping();
    void stackOverflowAddress_data();
    void stackOverflowAddress();

    void faultInStepIsReported_data();
    void faultInStepIsReported();
    void retryOfFaultingStepReportsAgain();
    void abortOnFaultEndsProgram();
    void faultWhileSkippingErrorsIsSkipped();
    void faultInQuietExitProcedureLeavesSilently();
    void faultBelongsToInnermostStep();
    void stepsEndWhateverHappensInThem();
    void stackOverflowInStep();
    void faultOutsideStepKeepsDefault();
    void signalSentDuringStepIsNotAFault();
};

void TestProtector::faultBeforeInstallingKeepsDefault()
{
    QCOMPARE(korvo::errors::protectorRegistrations(), 0);
    const int status = statusOfChild([] {
        FakeTrap t;
        Procedure p(t.trap, "frmMAIN", "cmdSTART_Click");
        p([] { writeThroughNull(); });
    });
    QVERIFY2(diedOf(status, SIGSEGV), qPrintable(QString::number(status)));
}

void TestProtector::initializeRegistersOnce()
{
    FakeTrap t;
    korvo::errors::vbwInitializeProtector(t.trap);
    QCOMPARE(korvo::errors::protectorRegistrations(), 1);
    for (const int signal : {SIGSEGV, SIGBUS, SIGFPE, SIGILL}) {
        const struct sigaction action = currentAction(signal);
        QVERIFY((action.sa_flags & SA_SIGINFO) != 0);
        QVERIFY((action.sa_flags & SA_ONSTACK) != 0);
    }

    // Put one signal back to the default: a second start must not register anything again.
    struct sigaction standard{};
    standard.sa_handler = SIG_DFL;
    struct sigaction installed{};
    sigaction(SIGFPE, &standard, &installed);
    korvo::errors::vbwInitializeProtector(t.trap);
    const bool stayedDefault = isDefault(currentAction(SIGFPE));
    sigaction(SIGFPE, &installed, nullptr);

    QVERIFY(stayedDefault);
    QCOMPARE(korvo::errors::protectorRegistrations(), 1);
    QVERIFY(t.reporter.texts.isEmpty());
}

void TestProtector::exceptionText_data()
{
    QTest::addColumn<quint32>("code");
    QTest::addColumn<QString>("text");
    QTest::newRow("guard page") << quint32{0x80000001} << "Exception: Guard Page";
    QTest::newRow("access violation") << quint32{0xC0000005} << "Exception: Access Violation";
    QTest::newRow("integer divide") << quint32{0xC0000094} << "Exception: Integer Divide By Zero";
    QTest::newRow("stack overflow") << quint32{0xC00000FD} << "Exception: Stack Overflow";
    QTest::newRow("control c") << quint32{0xC000013A} << "Exception: Control C Exit";
    QTest::newRow("zero") << quint32{0} << "Unknown Exception";
    QTest::newRow("between entries") << quint32{0xC0000007} << "Unknown Exception";
    QTest::newRow("all ones") << quint32{0xFFFFFFFF} << "Unknown Exception";
}

void TestProtector::exceptionText()
{
    QFETCH(quint32, code);
    QFETCH(QString, text);
    QCOMPARE(korvo::errors::vbwExceptionText(code), text);
}

void TestProtector::lastRecordOfChainNamesTheException()
{
    ExceptionRecord third;
    third.code = code::FloatOverflow;
    ExceptionRecord second;
    second.code = code::StackOverflow;
    ExceptionRecord first;
    first.code = code::AccessViolation;
    first.associated = &second;

    QCOMPARE(&korvo::errors::lastExceptionRecord(first), &second);
    QCOMPARE(&korvo::errors::lastExceptionRecord(second), &second);
    second.associated = &third;
    QCOMPARE(korvo::errors::lastExceptionRecord(first).code, code::FloatOverflow);
}

void TestProtector::filterRaisesCrashError()
{
    ExceptionRecord second;
    second.code = code::IntegerDivideByZero;
    ExceptionRecord first;
    first.code = code::Breakpoint;
    first.associated = &second;
    try {
        korvo::errors::vbwExceptionFilter(first);
    } catch (const RuntimeError& e) {
        QCOMPARE(e.number(), 65535);
        QCOMPARE(e.description(), QStringLiteral("Exception: Integer Divide By Zero"));
        return;
    }
    QFAIL("the filter returned");
}

void TestProtector::faultMapping_data()
{
    QTest::addColumn<int>("signal");
    QTest::addColumn<int>("signalCode");
    QTest::addColumn<bool>("outOfStack");
    QTest::addColumn<QString>("text");
    QTest::newRow("segv unmapped") << SIGSEGV << static_cast<int>(SEGV_MAPERR) << false << "Exception: Access Violation";
    QTest::newRow("segv general protection") << SIGSEGV << static_cast<int>(SI_KERNEL) << false << "Exception: Access Violation";
    QTest::newRow("segv out of stack") << SIGSEGV << static_cast<int>(SEGV_MAPERR) << true << "Exception: Stack Overflow";
    QTest::newRow("fpe int div") << SIGFPE << static_cast<int>(FPE_INTDIV) << false << "Exception: Integer Divide By Zero";
    QTest::newRow("fpe int ovf") << SIGFPE << static_cast<int>(FPE_INTOVF) << false << "Exception: Integer Overflow";
    QTest::newRow("fpe flt div") << SIGFPE << static_cast<int>(FPE_FLTDIV) << false << "Exception: Float Divide By Zero";
    QTest::newRow("fpe flt ovf") << SIGFPE << static_cast<int>(FPE_FLTOVF) << false << "Exception: Float Overflow";
    QTest::newRow("fpe flt sub") << SIGFPE << static_cast<int>(FPE_FLTSUB) << false << "Exception: Array Bounds Exceeded";
    QTest::newRow("fpe other") << SIGFPE << 99 << false << "Unknown Exception";
    QTest::newRow("ill opcode") << SIGILL << static_cast<int>(ILL_ILLOPC) << false << "Exception: Illegal Instruction";
    QTest::newRow("ill privileged") << SIGILL << static_cast<int>(ILL_PRVOPC) << false << "Exception: Priv Instruction";
    QTest::newRow("bus alignment") << SIGBUS << static_cast<int>(BUS_ADRALN) << false << "Exception: Datatype Misalignment";
    QTest::newRow("bus address") << SIGBUS << static_cast<int>(BUS_ADRERR) << false << "Exception: In Page Error";
    QTest::newRow("other signal") << SIGTRAP << 1 << false << "Unknown Exception";
}

void TestProtector::faultMapping()
{
    QFETCH(int, signal);
    QFETCH(int, signalCode);
    QFETCH(bool, outOfStack);
    QFETCH(QString, text);
    FaultRecords records;
    korvo::errors::describeFault(signal, signalCode, &records, outOfStack, records);
    QCOMPARE(records.fault.address, static_cast<const void*>(&records));
    QCOMPARE(records.fault.associated != nullptr, outOfStack);
    QCOMPARE(korvo::errors::vbwExceptionText(korvo::errors::lastExceptionRecord(records.fault).code), text);
}

void TestProtector::stackOverflowAddress_data()
{
    QTest::addColumn<quint64>("low");
    QTest::addColumn<quint64>("high");
    QTest::addColumn<quint64>("guard");
    QTest::addColumn<quint64>("address");
    QTest::addColumn<bool>("overflow");
    const quint64 low = 0x7f0000100000;
    const quint64 high = low + 0x800000;
    QTest::newRow("first byte below") << low << high << quint64{4096} << low - 1 << true;
    QTest::newRow("large frame over a page") << low << high << quint64{4096} << low - 0x8000 << true;
    QTest::newRow("large guard") << low << high << quint64{0x100000} << low - 0xFF000 << true;
    QTest::newRow("far below") << low << high << quint64{4096} << low - 0x100000 << false;
    QTest::newRow("inside, could not grow") << low << high << quint64{0} << low + 0x10 << true;
    QTest::newRow("null") << low << high << quint64{4096} << quint64{0} << false;
    QTest::newRow("unknown stack") << quint64{0} << quint64{0} << quint64{0} << quint64{0x1000} << false;
    QTest::newRow("stack at bottom of memory") << quint64{0x4000} << quint64{0x20000} << quint64{4096}
                                               << quint64{0x10} << true;
}

void TestProtector::stackOverflowAddress()
{
    QFETCH(quint64, low);
    QFETCH(quint64, high);
    QFETCH(quint64, guard);
    QFETCH(quint64, address);
    QFETCH(bool, overflow);
    const StackBounds stack{low, high, guard};
    QCOMPARE(korvo::errors::isStackOverflowAddress(address, stack), overflow);
}

void TestProtector::faultInStepIsReported_data()
{
    QTest::addColumn<Fault>("fault");
    QTest::addColumn<QString>("text");
    QTest::newRow("null write") << Fault::NullWrite << "Exception: Access Violation";
    QTest::newRow("integer division by zero") << Fault::DivideByZero << "Exception: Integer Divide By Zero";
    QTest::newRow("illegal instruction") << Fault::IllegalInstruction << "Exception: Illegal Instruction";
    QTest::newRow("read past end of mapped file") << Fault::BusError << "Exception: In Page Error";
}

void TestProtector::faultInStepIsReported()
{
    QFETCH(Fault, fault);
    QFETCH(QString, text);
    ensureProtector();
    const VanishedMapping mapping;
    if (fault == Fault::BusError && mapping.data() == nullptr)
        QSKIP("cannot map a temporary file here");

    FakeTrap t;
    int before = 0;
    int after = 0;
    Procedure p(t.trap, "frmMAIN", "cmdSTART_Click");
    p([&] { before = 1; });
    const int line = __LINE__ + 1;
    p([&] { provoke(fault, mapping); });
    p([&] { after = 1; });

    QCOMPARE(t.reporter.texts, QStringList{crashReport(qPrintable(text), "frmMAIN.cmdSTART_Click", line)});
    QCOMPARE(before, 1);
    QCOMPARE(after, 1);
    QVERIFY(p.active());
}

void TestProtector::retryOfFaultingStepReportsAgain()
{
    ensureProtector();
    FakeTrap t;
    t.reporter.answers = {Answer::Retry, Answer::Retry, Answer::Ignore};
    int attempts = 0;
    bool after = false;
    Procedure p(t.trap, "frmSet", "cmdOK_Click");
    p.at(90, [&] {
        ++attempts;
        writeThroughNull();
    });
    p([&] { after = true; });

    QCOMPARE(attempts, 3);
    QCOMPARE(t.reporter.texts.size(), 3);
    for (const QString& text : std::as_const(t.reporter.texts))
        QCOMPARE(text, crashReport("Exception: Access Violation", "frmSet.cmdOK_Click", 90));
    QVERIFY(after);
}

void TestProtector::abortOnFaultEndsProgram()
{
    ensureProtector();
    FakeTrap t;
    t.reporter.answers = {Answer::Abort};
    int ran = 0;
    {
        Procedure p(t.trap, "frmMAIN", "cmd10UP_Click");
        p([] { static_cast<void>(divideByZero()); });
        p([&] { ++ran; });
    }
    Procedure later(t.trap, "frmMAIN", "Timer1_Timer");
    later([&] { ++ran; });

    QCOMPARE(t.end.count, 1);
    QCOMPARE(ran, 0);
    QCOMPARE(t.reporter.texts.size(), 1);
}

void TestProtector::faultWhileSkippingErrorsIsSkipped()
{
    ensureProtector();
    FakeTrap t;
    int value = 5;
    bool after = false;
    Procedure p(t.trap, "frmMAIN", "Timer1_Timer");
    p.skipErrors();
    p([&] { value = divideByZero(); });
    p([] { writeThroughNull(); });
    p([&] { after = true; });

    QVERIFY(t.reporter.texts.isEmpty());
    QCOMPARE(value, 5);
    QVERIFY(after);
}

void TestProtector::faultInQuietExitProcedureLeavesSilently()
{
    ensureProtector();
    FakeTrap t;
    bool after = false;
    Procedure p(t.trap, "frmMAIN", "SHOW_TIME");
    p.quietExit();
    p([] { writeThroughNull(); });
    p([&] { after = true; });

    QVERIFY(t.reporter.texts.isEmpty());
    QVERIFY(!after);
    QVERIFY(!p.active());
    QCOMPARE(t.end.count, 0);
}

void TestProtector::faultBelongsToInnermostStep()
{
    ensureProtector();
    FakeTrap t;
    int outerLine = 0;
    int innerLine = 0;
    Procedure outer(t.trap, "frmMAIN", "cmdNEXTPERIOD_Click");
    outerLine = __LINE__ + 1;
    outer([&] {
        Procedure inner(t.trap, "frmMAIN", "SHOW_TIME");
        innerLine = __LINE__ + 1;
        inner([] { writeThroughNull(); });
        // Back in the outer step: a fault here belongs to the caller again.
        static_cast<void>(divideByZero());
    });

    QCOMPARE(t.reporter.texts,
             (QStringList{crashReport("Exception: Access Violation", "frmMAIN.SHOW_TIME", innerLine),
                          crashReport("Exception: Integer Divide By Zero", "frmMAIN.cmdNEXTPERIOD_Click", outerLine)}));
    QVERIFY(!korvo::errors::insideStep());
}

void TestProtector::stepsEndWhateverHappensInThem()
{
    ensureProtector();
    FakeTrap t;
    bool insideFirst = false;
    bool insideNested = false;
    {
        Procedure p(t.trap, "frmMAIN", "cmdRESET_Click");
        p([&] { insideFirst = korvo::errors::insideStep(); });
        p([&] {
            Procedure inner(t.trap, "frmMAIN", "PAUSED");
            inner([] {});
            inner([] { korvo::errors::raise(6); });
            inner([] { writeThroughNull(); });
            insideNested = korvo::errors::insideStep();
        });
        p.quietExit();
        p([] { writeThroughNull(); });
    }
    QVERIFY(insideFirst);
    QVERIFY(insideNested);
    QVERIFY(!korvo::errors::insideStep());
    QCOMPARE(t.reporter.texts.size(), 2);
}

void TestProtector::stackOverflowInStep()
{
    ensureProtector();
    // A thread with a small stack makes the overflow quick and independent of the shell's stack limit.
    OverflowRun run;
    pthread_attr_t attributes;
    QCOMPARE(pthread_attr_init(&attributes), 0);
    QCOMPARE(pthread_attr_setstacksize(&attributes, 512 * 1024), 0);
    pthread_t thread{};
    QCOMPARE(pthread_create(&thread, &attributes, &overflowOnSmallStack, &run), 0);
    pthread_attr_destroy(&attributes);
    QCOMPARE(pthread_join(thread, nullptr), 0);

    QCOMPARE(run.t.reporter.texts, QStringList{crashReport("Exception: Stack Overflow", "frmMAIN.Timer1_Timer", run.line)});
    QVERIFY(run.finished);
}

void TestProtector::faultOutsideStepKeepsDefault()
{
    ensureProtector();
    // Steps that ran and ended before the fault must not be taken for a step still running.
    const int status = statusOfChild([] {
        FakeTrap t;
        {
            Procedure p(t.trap, "frmMAIN", "PAUSED");
            p([&] {
                Procedure inner(t.trap, "frmMAIN", "SHOW_TIME");
                inner([] {});
            });
            p([] { writeThroughNull(); });
        }
        if (t.reporter.texts.size() == 1)
            writeThroughNull();
    });
    QVERIFY2(diedOf(status, SIGSEGV), qPrintable(QString::number(status)));
}

void TestProtector::signalSentDuringStepIsNotAFault()
{
    ensureProtector();
    const int status = statusOfChild([] {
        FakeTrap t;
        Procedure p(t.trap, "frmMAIN", "cmdSTART_Click");
        p([] { ::raise(SIGFPE); });
    });
    QVERIFY2(diedOf(status, SIGFPE), qPrintable(QString::number(status)));
}

// Qt Test's own crash handler would take the fault signals before the protector is installed and would
// trace every crash that a forked child is meant to die of.
int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QStringList arguments = QCoreApplication::arguments();
    arguments.insert(1, QStringLiteral("-nocrashhandler"));
    TestProtector test;
    return QTest::qExec(&test, arguments);
}
#include "tst_protector.moc"
