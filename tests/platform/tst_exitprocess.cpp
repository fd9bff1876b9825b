#include "platform/ExitProcess.h"

#include <QApplication>
#include <QCloseEvent>
#include <QProcess>
#include <QTest>
#include <QWidget>

#include <cstdio>
#include <cstdlib>

namespace {

class NoisyWindow final : public QWidget
{
protected:
    void closeEvent(QCloseEvent* event) override
    {
        std::printf("close handler ran\n");
        QWidget::closeEvent(event);
    }
};

struct NoisyObject
{
    NoisyObject() = default;
    NoisyObject(const NoisyObject&) = delete;
    NoisyObject& operator=(const NoisyObject&) = delete;
    ~NoisyObject() { std::printf("destructor ran\n"); }
};

/// The child: leaves output in the stdio buffer (stdout is a pipe, so fully buffered), then ends.
int endChild(int argc, char* argv[])
{
    QApplication app(argc, argv);
    std::atexit([] { std::printf("atexit ran\n"); });
    const NoisyObject object;
    NoisyWindow window;
    window.show();
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
        return endChild(argc, argv);
    QCoreApplication app(argc, argv);
    TestExitProcess tests;
    return QTest::qExec(&tests, argc, argv);
}

#include "tst_exitprocess.moc"
