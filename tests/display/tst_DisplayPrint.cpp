#include "LoopbackSender.h"

#include <QDateTime>
#include <QProcess>
#include <QTest>

namespace {

/// korvo-display with no display server to reach: --print and --help must not need one.
void startHeadless(QProcess& process, const QStringList& arguments)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        env.remove(QString::fromLatin1(name));
    process.setProcessEnvironment(env);
    process.start(QStringLiteral(KORVO_DISPLAY_EXE), arguments);
}

} // namespace

class TestDisplayPrint final : public QObject
{
    Q_OBJECT

private slots:
    void printsTheChosenClocksDatagramsInOrder()
    {
        const quint16 port = freeUdpPort();
        QProcess display;
        // Zero-padded as operators copy it from the clock; read as decimal, not octal.
        startHeadless(display, {"--print", "--port", QString::number(port), "--source", "127.000.000.010"});
        QByteArray errors;
        QTRY_VERIFY2_WITH_TIMEOUT((errors += display.readAllStandardError()).contains("listening on UDP port"),
                                  errors.constData(), 10000);

        const QDateTime start = QDateTime::currentDateTime().addMSecs(-1);
        const QHostAddress chosen(QStringLiteral("127.0.0.10"));
        // All queued before the program reads any, each followed by one from another clock.
        for (const char* datagram : {"p1t10:00", "p1t09:59", "P1t09:58", "pause", "pause ", "p2t00:00"}) {
            QVERIFY(sendOnLoopback(datagram, port, chosen));
            QVERIFY(sendOnLoopback("p9t01:00", port));
        }

        QByteArray out;
        QTRY_COMPARE((out += display.readAllStandardOutput()).count('\n'), 4);
        QVERIFY(out.endsWith('\n'));
        const QList<QByteArray> lines = out.trimmed().split('\n');
        const QList<QByteArray> expected{"p1t10:00", "p1t09:59", "pause", "p2t00:00"};
        for (qsizetype i = 0; i < lines.size(); ++i) {
            const QDateTime stamp = QDateTime::fromString(lines[i].split(' ').first(), Qt::ISODateWithMs);
            QVERIFY2(stamp >= start && stamp <= QDateTime::currentDateTime(), lines[i].constData());
            QCOMPARE(lines[i].mid(lines[i].indexOf(' ')), " 127.0.0.10 " + expected[i]);
        }
        QTRY_COMPARE((errors += display.readAllStandardError()).count("ignored"), 6);
        QCOMPARE(errors.count("rejected"), 2);
        display.kill();
        display.waitForFinished();
    }

    void answersOptionsWithoutADisplay_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QByteArrayList>("says"); // what the output starts with, then what else it holds
        const QByteArrayList refused{"korvo-display: "};
        QTest::newRow("help") << QStringList{"--help"} << 0
                              << QByteArrayList{"Usage: ", "--port", "--fullscreen", "--screen", "--source", "--print"};
        QTest::newRow("port 0") << QStringList{"--print", "--port", "0"} << 2 << refused;
        QTest::newRow("port 65536") << QStringList{"--print", "--port", "65536"} << 2 << refused;
        QTest::newRow("port not a number") << QStringList{"--print", "--port", "x"} << 2 << refused;
        QTest::newRow("source with three parts") << QStringList{"--print", "--source", "192.168.0"} << 2 << refused;
        QTest::newRow("stray argument") << QStringList{"--print", "7699"} << 2 << refused;
    }

    void answersOptionsWithoutADisplay()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, exitCode);
        QFETCH(QByteArrayList, says);
        QProcess process;
        startHeadless(process, arguments);
        QVERIFY(process.waitForFinished(10000));
        QCOMPARE(process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(process.exitCode(), exitCode);
        const QByteArray output = exitCode == 0 ? process.readAllStandardOutput() : process.readAllStandardError();
        QVERIFY2(output.startsWith(says.first()), output.constData());
        for (const QByteArray& text : says)
            QVERIFY2(output.contains(text), text.constData());
    }
};

QTEST_GUILESS_MAIN(TestDisplayPrint)
#include "tst_DisplayPrint.moc"
