// Start-up of the whole program with the real settings window: the operator composes or loads a set in
// it (driven through its real widgets while it runs modally), and the main window takes over.

#include "ClockHarness.h"

#include "errors/Protector.h"
#include "settings/FrmSet.h"
#include "ui/SettingsWindowUi.h"
#include "ui/SymbolButton.h"

#include <QCheckBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>

#include <functional>

using korvo::settings::FrmSet;

namespace {

/// The network part the settings window proposes, as the clock is then told to broadcast to it.
QString proposedBroadcast(const QString& localIp)
{
    const QStringList f = localIp.split(QLatin1Char('.'));
    return QStringLiteral("%1.%2.%3.255").arg(f.at(0).toInt()).arg(f.at(1).toInt()).arg(f.at(2).toInt());
}

/// Start-up as the program runs it, the settings window answered by `act`.
void startUp(korvo::test::Clock& c, std::function<void(FrmSet&)> act)
{
    korvo::test::whenSettingsOpen(std::move(act));
    c.frm->Form_Initialize();
    QCOMPARE(korvo::errors::protectorRegistrations(), 1); // once per process, however many windows
    c.frm->Form_Load();
}

} // namespace

class TestStartUp : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void loadedCountdownSetRunsToTheEnd();
    void composedSetWithFirstPeriodAskMe();
    void closeBoxWithoutSetEndsProgram();
    void endButtonEndsProgram();

private:
    QTemporaryDir m_dir;
};

void TestStartUp::init()
{
    QVERIFY(m_dir.isValid());
}

void TestStartUp::loadedCountdownSetRunsToTheEnd()
{
    const QString file = m_dir.filePath(QStringLiteral("quarters.ptm"));
    {
        QFile f(file);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("TimeLeft\r\n1st Quarter\r\n10:00\r\n2nd Quarter\r\n10:00\r\n");
    }
    korvo::test::Clock c;
    c.dialogs.openNames.push_back(file);
    bool shownBeforeMainWindow = false;
    startUp(c, [&](FrmSet& w) {
        shownBeforeMainWindow = !c.frm->isVisible();
        QTest::mouseClick(w.widgets().cmdLOAD, Qt::LeftButton);
        QTest::mouseClick(w.widgets().cmdOK, Qt::LeftButton);
    });
    QVERIFY(shownBeforeMainWindow);
    QVERIFY(c.trap.reporter.texts.isEmpty());
    QCOMPARE(c.trap.end.count, 0);

    c.frm->show();
    QVERIFY(QTest::qWaitForWindowExposed(c.frm.get()));
    QCOMPARE(c.ui.lblTIME->text(), QStringLiteral("10:00"));
    QCOMPARE(c.ui.lblTIME->palette().color(QPalette::WindowText), QColor(255, 0, 0));
    QCOMPARE(c.frm->windowTitle(), QStringLiteral("1st Quarter/10:00"));
    QVERIFY(!c.ui.cmdSETTING->isEnabled() && !c.ui.cmdPREVPERIOD->isEnabled() && !c.ui.cmdNEXTPERIOD->isEnabled());
    const auto first = c.socket.take();
    QCOMPARE(first.size(), std::size_t{1});
    QCOMPARE(first[0].bytes, QByteArray("p1t10:00"));
    QCOMPARE(first[0].host, QStringLiteral("192.168.000.255"));
    QCOMPARE(c.socket.hosts.last(), proposedBroadcast(c.socket.localIp()));

    QTest::keyClick(c.frm->windowHandle(), Qt::Key_S);
    QVERIFY(c.timer.enabled);
    for (int i = 0; i < 600; ++i)
        QVERIFY(c.timer.fire());
    QVERIFY(!c.timer.enabled);
    QVERIFY(c.ui.lblEND->isVisible());
    QCOMPARE(c.ui.lblEND->text(), QStringLiteral("E N D"));
    QCOMPARE(c.model.CLOCK_RUNNING, korvo::model::kTrue);
    const QList<QByteArray> ticks = c.socket.payloads();
    QCOMPARE(ticks.size(), 600);
    QCOMPARE(ticks.first(), QByteArray("p1t09:59"));
    QCOMPARE(ticks.last(), QByteArray("p1t00:00"));

    // The period ended on its own, so the clock still counts as running and S pauses it.
    QTest::keyClick(c.frm->windowHandle(), Qt::Key_S);
    QCOMPARE(c.socket.payloads(), QList<QByteArray>{"pause"});
    QVERIFY(!c.ui.lblEND->isVisible());
    QCOMPARE(c.ui.lblTIME->palette().color(QPalette::WindowText), QColor(255, 0, 0));
    QVERIFY(c.trap.reporter.texts.isEmpty());
}

void TestStartUp::composedSetWithFirstPeriodAskMe()
{
    korvo::test::Clock c;
    c.dialogs.inputs = {QStringLiteral("20"), QStringLiteral("0")};
    startUp(c, [](FrmSet& w) {
        const korvo::ui::SettingsWindowUi& ui = w.widgets();
        QTest::keyClicks(ui.txtPERIODLEGEND, QStringLiteral("1st Half"));
        QTest::mouseClick(ui.chkASKME, Qt::LeftButton);
        QTest::mouseClick(ui.cmdADD, Qt::LeftButton);
        QTest::mouseClick(ui.optLEFT, Qt::LeftButton);
        QTest::mouseClick(ui.cmdOK, Qt::LeftButton);
    });
    QVERIFY(c.trap.reporter.texts.isEmpty());
    QCOMPARE(c.dialogs.prompts,
             QStringList({QStringLiteral("Minutes for the 1st Half"), QStringLiteral("Seconds for the 1st Half")}));
    QCOMPARE(c.ui.lblTIME->text(), QStringLiteral("20:00"));
    QCOMPARE(c.frm->windowTitle(), QStringLiteral("1st Half/20:00"));
    QCOMPARE(c.socket.payloads(), QList<QByteArray>{"p1t20:00"});
}

void TestStartUp::closeBoxWithoutSetEndsProgram()
{
    korvo::test::Clock c;
    startUp(c, [](FrmSet& w) { w.close(); });
    QCOMPARE(c.trap.end.count, 1);
    QVERIFY(c.trap.reporter.texts.isEmpty());
    QVERIFY(c.socket.take().empty());
    QCOMPARE(c.ui.lblTIME->text(), QStringLiteral("99:99"));
}

void TestStartUp::endButtonEndsProgram()
{
    korvo::test::Clock c;
    startUp(c, [](FrmSet& w) {
        QTest::keyClicks(w.widgets().txtPERIODLEGEND, QStringLiteral("Half"));
        w.widgets().vsTIMEMIN->setValue(20);
        QTest::mouseClick(w.widgets().cmdADD, Qt::LeftButton);
        QTest::mouseClick(w.widgets().cmdCANCEL, Qt::LeftButton);
    });
    QCOMPARE(c.trap.end.count, 1);
    QVERIFY(c.trap.reporter.texts.isEmpty());
    QVERIFY(c.socket.take().empty());
    QVERIFY(!c.model.PERIODS);
}

QTEST_MAIN(TestStartUp)
#include "tst_startup.moc"
