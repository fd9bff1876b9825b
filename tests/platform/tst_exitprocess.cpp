#include "platform/ExitProcess.h"

#include <QProcess>
#include <QTest>

#include <cstdio>
#include <cstdlib>

namespace {

/// The child: leaves output in the stdio buffer (stdout is a pipe, so fully buffered), then ends.
[[noreturn]] void endChild()
{
    std::atexit([] { std::printf("atexit ran\n"); });
    std::printf("before end\n");
    korvo::platform::ExitProcess().endProgram();
}

} // namespace

class TestExitProcess : public QObject
{
    Q_OBJECT

private slots:
    void endsAtOnceAfterFlushing()
    {
        QProcess child;
        child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--end-child")});
        QVERIFY(child.waitForFinished(30000));
        QCOMPARE(child.exitStatus(), QProcess::NormalExit);
        QCOMPARE(child.exitCode(), 0);
        QCOMPARE(child.readAllStandardOutput(), QByteArray("before end\n"));
    }
};

int main(int argc, char* argv[])
{
    if (argc == 2 && qstrcmp(argv[1], "--end-child") == 0)
        endChild();
    QCoreApplication app(argc, argv);
    TestExitProcess tests;
    return QTest::qExec(&tests, argc, argv);
}

#include "tst_exitprocess.moc"
