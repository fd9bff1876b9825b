#include "LoopbackSender.h"

#include "display/DatagramPrinter.h"

#include <QDateTime>
#include <QDeadlineTimer>
#include <QProcess>
#include <QRegularExpression>
#include <QTest>
#include <QTimeZone>

namespace {

const QString kProgram = QStringLiteral(KORVO_DISPLAY_EXE);

/// korvo-display --print, started and listening.
class PrintingDisplay
{
public:
    explicit PrintingDisplay(const QStringList& extra)
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove(QStringLiteral("DISPLAY"));
        env.remove(QStringLiteral("WAYLAND_DISPLAY"));
        env.remove(QStringLiteral("QT_QPA_PLATFORM"));
        m_process.setProcessEnvironment(env);
        m_process.start(kProgram, QStringList{QStringLiteral("--print")} + extra);
    }
    ~PrintingDisplay()
    {
        m_process.kill();
        m_process.waitForFinished();
    }
    Q_DISABLE_COPY_MOVE(PrintingDisplay)

    bool waitUntilListening()
    {
        QDeadlineTimer deadline(10000);
        while (!m_stderr.contains("listening on UDP port")) {
            if (deadline.hasExpired() || m_process.state() == QProcess::NotRunning)
                return false;
            QTest::qWait(10);
            m_stderr += m_process.readAllStandardError();
        }
        return true;
    }

    /// Lines printed so far; each must have arrived as a whole line.
    QStringList lines()
    {
        m_stdout += m_process.readAllStandardOutput();
        m_stderr += m_process.readAllStandardError();
        QStringList all = QString::fromUtf8(m_stdout).split(QLatin1Char('\n'));
        all.removeLast(); // the part after the last line end
        return all;
    }
    QString errors()
    {
        m_stderr += m_process.readAllStandardError();
        return QString::fromUtf8(m_stderr);
    }

private:
    QProcess m_process;
    QByteArray m_stdout;
    QByteArray m_stderr;
};

const QRegularExpression kLine(QStringLiteral(
    R"(^(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}(?:Z|[+-]\d\d:\d\d)) (\S+) (\S+)$)"));

} // namespace

class TestDisplayPrint final : public QObject
{
    Q_OBJECT

private slots:
    void formatsALine();
    void printsAcceptedDatagramsInOrder();
    void printsOnlyTheChosenSource();
    void refusesBadOptions_data();
    void refusesBadOptions();
    void helpNeedsNoDisplay();
};

void TestDisplayPrint::formatsALine()
{
    const QDateTime when(QDate(2026, 12, 6), QTime(10, 54, 23, 120), QTimeZone(3600));
    QCOMPARE(korvo::display::printLine(when, QHostAddress(QStringLiteral("192.168.0.1")), QStringLiteral("p1t10:00")),
             QStringLiteral("2026-12-06T10:54:23.120+01:00 192.168.0.1 p1t10:00"));
}

void TestDisplayPrint::printsAcceptedDatagramsInOrder()
{
    const quint16 port = freeUdpPort();
    PrintingDisplay display({QStringLiteral("--port"), QString::number(port)});
    QVERIFY2(display.waitUntilListening(), qPrintable(display.errors()));

    const QDateTime start = QDateTime::currentDateTime().addMSecs(-1);
    LoopbackSender clock;
    const QList<QByteArray> sent{"p1t10:00", "p1t09:59", "P1t09:58", "pause", "pause ", "p2t00:00"};
    for (const QByteArray& datagram : sent) {
        QVERIFY(clock.send(datagram, port));
        QTest::qWait(20);
    }

    QTRY_COMPARE(display.lines().size(), 4);
    const QStringList lines = display.lines();
    const QStringList expected{"p1t10:00", "p1t09:59", "pause", "p2t00:00"};
    for (int i = 0; i < lines.size(); ++i) {
        const QRegularExpressionMatch m = kLine.match(lines.at(i));
        QVERIFY2(m.hasMatch(), qPrintable(lines.at(i)));
        const QDateTime stamp = QDateTime::fromString(m.captured(1), Qt::ISODateWithMs);
        QVERIFY(stamp.isValid());
        QVERIFY(stamp >= start && stamp <= QDateTime::currentDateTime());
        QCOMPARE(m.captured(2), QStringLiteral("127.0.0.1"));
        QCOMPARE(m.captured(3), expected.at(i));
    }
    QTRY_COMPARE(display.errors().count(QStringLiteral("rejected")), 2);
}

void TestDisplayPrint::printsOnlyTheChosenSource()
{
    const quint16 port = freeUdpPort();
    PrintingDisplay display({QStringLiteral("--port"), QString::number(port), QStringLiteral("--source"),
                             QStringLiteral("127.000.000.002")});
    QVERIFY2(display.waitUntilListening(), qPrintable(display.errors()));

    LoopbackSender other(QHostAddress(QStringLiteral("127.0.0.1")));
    LoopbackSender chosen(QHostAddress(QStringLiteral("127.0.0.2")));
    QVERIFY(other.send("p1t01:00", port));
    QVERIFY(chosen.send("p1t02:00", port));

    QTRY_COMPARE(display.lines().size(), 1);
    QVERIFY(display.lines().at(0).endsWith(QStringLiteral(" 127.0.0.2 p1t02:00")));
    QTRY_VERIFY(display.errors().contains(QStringLiteral("ignored")));
}

void TestDisplayPrint::refusesBadOptions_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::newRow("port 0") << QStringList{"--print", "--port", "0"};
    QTest::newRow("port 65536") << QStringList{"--print", "--port", "65536"};
    QTest::newRow("port not a number") << QStringList{"--print", "--port", "x"};
    QTest::newRow("source with three parts") << QStringList{"--print", "--source", "192.168.0"};
    QTest::newRow("stray argument") << QStringList{"--print", "7699"};
}

void TestDisplayPrint::refusesBadOptions()
{
    QFETCH(QStringList, arguments);
    QProcess process;
    process.start(kProgram, arguments);
    QVERIFY(process.waitForFinished(10000));
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(process.exitCode(), 2);
    QVERIFY(process.readAllStandardError().startsWith("korvo-display: "));
}

void TestDisplayPrint::helpNeedsNoDisplay()
{
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("DISPLAY"));
    env.remove(QStringLiteral("QT_QPA_PLATFORM"));
    process.setProcessEnvironment(env);
    process.start(kProgram, {QStringLiteral("--help")});
    QVERIFY(process.waitForFinished(10000));
    QCOMPARE(process.exitCode(), 0);
    const QByteArray help = process.readAllStandardOutput();
    for (const char* option : {"--port", "--fullscreen", "--screen", "--source", "--print"})
        QVERIFY2(help.contains(option), option);
}

QTEST_GUILESS_MAIN(TestDisplayPrint)
#include "tst_DisplayPrint.moc"
