// The main clock window driven as the operator drives it: real widgets, real datagrams on loopback,
// a fake timer for the ticks, scripted input boxes and error reports.

#include "ClockHarness.h"

#include "ui/SymbolButton.h"

#include <QLabel>
#include <QSignalSpy>
#include <QTest>

using korvo::errors::Answer;
using korvo::model::COUNT_DOWN;
using korvo::model::COUNT_UP;
using korvo::test::askMe;
using korvo::test::Clock;
using korvo::test::period;

Q_DECLARE_METATYPE(std::vector<int>)

namespace {

QColor textColour(const QLabel* label)
{
    return label->palette().color(QPalette::WindowText);
}

const QColor kRed(255, 0, 0);
const QColor kBlack(0, 0, 0);

/// The report's first and third lines: "Error n" and the location.
QString reportHead(const QString& text)
{
    const QStringList lines = text.split(QStringLiteral("\r\n"));
    return lines.size() == 4 ? lines.at(0) + QLatin1Char('|') + lines.at(2) : text;
}

void pressS(korvo::clock::FrmMain& frm)
{
    // Through the window system, so that the key goes to the control with the focus as a real one does.
    QTest::keyClick(frm.windowHandle(), Qt::Key_S);
}

} // namespace

class TestFrmMain : public QObject
{
    Q_OBJECT

private slots:
    void startUpShowsFirstPeriodPaused_data();
    void startUpShowsFirstPeriodPaused();
    void startUpWithoutAnySetEndsProgram();
    void startUpAsksForFirstAskMePeriod();
    void sReachesWindowWhicheverButtonHasFocus();
    void lateAndEndingTicks_data();
    void lateAndEndingTicks();
    void startAfterEndRunsOneTickAndEndsAgain();
    void corrections_data();
    void corrections();
    void nextAndPreviousAtTheEndsDoNothing();
    void nextAndPreviousStepAndSetButtons();
    void resetPopup_data();
    void resetPopup();
    void askMeAnswers_data();
    void askMeAnswers();
    void showTimeWithoutSetIsSilent();
    void lateTickOverflowIsReported();
};

void TestFrmMain::startUpShowsFirstPeriodPaused_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<int>("minutes");
    QTest::addColumn<QString>("shown");
    QTest::newRow("countdown 10:00") << COUNT_DOWN << 10 << "10:00";
    QTest::newRow("countdown 12:00") << COUNT_DOWN << 12 << "12:00";
    QTest::newRow("clock timer") << COUNT_UP << 10 << "00:00";
}

void TestFrmMain::startUpShowsFirstPeriodPaused()
{
    QFETCH(int, mode);
    QFETCH(int, minutes);
    QFETCH(QString, shown);
    Clock c;
    c.load({period(QStringLiteral("1st Quarter"), minutes, 0), period(QStringLiteral("2nd Quarter"), 10, 0)}, mode);

    QCOMPARE(c.ui.lblTIME->text(), shown);
    QCOMPARE(textColour(c.ui.lblTIME), kRed);
    QCOMPARE(c.ui.lblPERIOD->text(), QStringLiteral("1st Quarter"));
    QCOMPARE(c.frm->windowTitle(), QStringLiteral("1st Quarter/") + shown);
    QVERIFY(!c.ui.cmdSETTING->isEnabled());
    QVERIFY(!c.ui.cmdPREVPERIOD->isEnabled());
    QVERIFY(!c.ui.cmdNEXTPERIOD->isEnabled());
    for (auto* b : {c.ui.cmdSTART, c.ui.cmdPAUSE, c.ui.cmdRESET, c.ui.cmd1UP, c.ui.cmd1DW, c.ui.cmd10UP, c.ui.cmd10DW})
        QVERIFY2(b->isEnabled(), qPrintable(b->objectName()));
    QVERIFY(!c.timer.enabled);
    QCOMPARE(c.model.CLOCK_RUNNING, korvo::model::kFalse);

    // The first datagram goes to the load-time host; only then does the operator's address take over.
    const auto sent = c.socket.take();
    QCOMPARE(sent.size(), std::size_t{1});
    QCOMPARE(sent[0].bytes, (QStringLiteral("p1t") + shown).toLatin1());
    QCOMPARE(sent[0].host, QStringLiteral("192.168.000.255"));
    QCOMPARE(c.socket.hosts, QStringList({QStringLiteral("192.168.000.255"), QStringLiteral("192.168.1.255")}));
    QCOMPARE(c.socket.ports, std::vector<std::int32_t>{7699});
    QCOMPARE(c.socket.protocols, std::vector<std::int32_t>{1});
    QVERIFY(c.trap.reporter.texts.isEmpty());
}

void TestFrmMain::startUpWithoutAnySetEndsProgram()
{
    Clock c;
    c.load({}, COUNT_DOWN);
    QCOMPARE(c.trap.end.count, 1);
    QVERIFY(c.trap.reporter.texts.isEmpty());
    QVERIFY(c.socket.take().empty());
    QCOMPARE(c.ui.lblTIME->text(), QStringLiteral("99:99"));
}

void TestFrmMain::startUpAsksForFirstAskMePeriod()
{
    Clock c;
    c.dialogs.inputs = {QStringLiteral("12"), QStringLiteral("30")};
    c.load({askMe(QStringLiteral("1st Half")), period(QStringLiteral("2nd Half"), 20, 0)}, COUNT_DOWN);
    QCOMPARE(c.dialogs.prompts,
             QStringList({QStringLiteral("Minutes for the 1st Half"), QStringLiteral("Seconds for the 1st Half")}));
    QCOMPARE(c.model.PERIOD_SECONDS, 750);
    QCOMPARE(c.ui.lblTIME->text(), QStringLiteral("12:30"));
    QCOMPARE(c.socket.payloads(), QList<QByteArray>{"p1t12:30"});
    QVERIFY(c.trap.reporter.texts.isEmpty());
}

void TestFrmMain::sReachesWindowWhicheverButtonHasFocus()
{
    Clock c;
    c.load({period(QStringLiteral("Half"), 20, 0)}, COUNT_DOWN);
    c.frm->show();
    QApplication::setActiveWindow(c.frm.get());
    QVERIFY(QTest::qWaitForWindowActive(c.frm.get()));
    for (QWidget* w : {static_cast<QWidget*>(c.ui.cmdSTART), static_cast<QWidget*>(c.ui.cmdPAUSE),
                       static_cast<QWidget*>(c.ui.cmd10DW), static_cast<QWidget*>(c.ui.cmdRESET)}) {
        w->setFocus();
        QTRY_COMPARE(QApplication::focusWidget(), w);
        int seenByControl = 0;
        struct Counter : QObject
        {
            int& n;
            explicit Counter(int& count) : n(count) {}
            bool eventFilter(QObject*, QEvent* e) override
            {
                if (e->type() == QEvent::KeyPress && static_cast<QKeyEvent*>(e)->key() == Qt::Key_S)
                    ++n;
                return false;
            }
        } counter(seenByControl);
        w->installEventFilter(&counter);
        const bool wasRunning = c.model.CLOCK_RUNNING != 0;
        pressS(*c.frm);
        w->removeEventFilter(&counter);
        // Toggled exactly once, and the control still got the key.
        QCOMPARE(c.model.CLOCK_RUNNING != 0, !wasRunning);
        QCOMPARE(c.timer.enabled, !wasRunning);
        QCOMPARE(seenByControl, 1);
    }
    // Shift+S toggles too; other keys do nothing.
    QTest::keyClick(c.frm->windowHandle(), Qt::Key_S, Qt::ShiftModifier);
    QVERIFY(c.timer.enabled);
    QTest::keyClick(c.frm->windowHandle(), Qt::Key_P);
    QVERIFY(c.timer.enabled);
}

void TestFrmMain::lateAndEndingTicks_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<int>("seconds");
    QTest::addColumn<std::vector<int>>("missed");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<bool>("ended");
    QTest::newRow("down: 2 left, missed 2 → clamped to 0")
        << COUNT_DOWN << 2 << std::vector<int>{2} << "00:00" << true;
    QTest::newRow("down: missed 2 moves three seconds") << COUNT_DOWN << 10 << std::vector<int>{2} << "00:07" << false;
    QTest::newRow("up: reaches 600 exactly") << COUNT_UP << 600 << std::vector<int>(600, 0) << "10:00" << true;
    QTest::newRow("up: step past the duration, clamped")
        << COUNT_UP << 5 << std::vector<int>{1, 3} << "00:05" << true;
    QTest::newRow("up: duration 0 ends on the first tick") << COUNT_UP << 0 << std::vector<int>{0} << "00:00" << true;
}

void TestFrmMain::lateAndEndingTicks()
{
    QFETCH(int, mode);
    QFETCH(int, seconds);
    QFETCH(std::vector<int>, missed);
    QFETCH(QString, shown);
    QFETCH(bool, ended);
    Clock c;
    c.load({period(QStringLiteral("P"), seconds / 60, seconds % 60)}, mode);
    c.frm->cmdSTART_Click();
    c.socket.take();
    for (int m : missed)
        QVERIFY(c.timer.fire(m));
    QCOMPARE(c.ui.lblTIME->text(), shown);
    QCOMPARE(c.ui.lblEND->isVisibleTo(c.frm.get()), ended);
    QCOMPARE(c.timer.enabled, !ended);
    // One datagram per tick, however late it was; the last carries what is shown.
    const QList<QByteArray> sent = c.socket.payloads();
    QCOMPARE(sent.size(), static_cast<qsizetype>(missed.size()));
    QCOMPARE(sent.last(), ("p1t" + shown).toLatin1());
}

void TestFrmMain::startAfterEndRunsOneTickAndEndsAgain()
{
    Clock c;
    c.load({period(QStringLiteral("P"), 0, 1)}, COUNT_DOWN);
    c.frm->cmdSTART_Click();
    QVERIFY(c.timer.fire());
    QVERIFY(c.ui.lblEND->isVisibleTo(c.frm.get()));
    c.frm->cmdSTART_Click();
    QCOMPARE(textColour(c.ui.lblTIME), kBlack);
    QVERIFY(!c.ui.lblEND->isVisibleTo(c.frm.get()));
    QVERIFY(!c.ui.cmdNEXTPERIOD->isEnabled());
    c.socket.take();
    QVERIFY(c.timer.fire());
    QVERIFY(c.ui.lblEND->isVisibleTo(c.frm.get()));
    QCOMPARE(c.socket.payloads(), QList<QByteArray>{"p1t00:00"});
}

void TestFrmMain::corrections_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<int>("at");
    QTest::addColumn<QString>("button");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<bool>("stepping");
    // Period of 10:00 throughout; "at" is the clock value before the press.
    QTest::newRow("down, 5 left, -10 ends at 0") << COUNT_DOWN << 5 << "cmd10DW" << "00:00" << true;
    QTest::newRow("down, +10 is more time left") << COUNT_DOWN << 500 << "cmd10UP" << "08:30" << false;
    QTest::newRow("down, full, +1 stays full") << COUNT_DOWN << 600 << "cmd1UP" << "10:00" << false;
    QTest::newRow("down, -1") << COUNT_DOWN << 600 << "cmd1DW" << "09:59" << false;
    QTest::newRow("up, 595, +10 ends at 600") << COUNT_UP << 595 << "cmd10UP" << "10:00" << true;
    QTest::newRow("up, 0, -1 stays 0") << COUNT_UP << 0 << "cmd1DW" << "00:00" << false;
    QTest::newRow("up, 0, -10 stays 0") << COUNT_UP << 0 << "cmd10DW" << "00:00" << false;
    QTest::newRow("up, +1") << COUNT_UP << 0 << "cmd1UP" << "00:01" << false;
}

void TestFrmMain::corrections()
{
    QFETCH(int, mode);
    QFETCH(int, at);
    QFETCH(QString, button);
    QFETCH(QString, shown);
    QFETCH(bool, stepping);
    Clock c;
    c.load({period(QStringLiteral("P"), 10, 0), period(QStringLiteral("Q"), 10, 0)}, mode);
    c.frm->show();
    c.frm->cmdSTART_Click(); // a correction while running leaves the clock paused
    c.model.CUR_SECONDS = at;
    c.socket.take();

    QTest::mouseClick(c.frm->findChild<korvo::ui::SymbolButton*>(button), Qt::LeftButton);
    QCOMPARE(c.ui.lblTIME->text(), shown);
    QCOMPARE(textColour(c.ui.lblTIME), kRed);
    QVERIFY(!c.timer.enabled);
    QCOMPARE(c.model.CLOCK_RUNNING, korvo::model::kFalse);
    QVERIFY(!c.ui.lblEND->isVisible()); // an end by correction is hidden again by the pause that follows
    QCOMPARE(c.ui.cmdPREVPERIOD->isEnabled(), stepping);
    QCOMPARE(c.ui.cmdNEXTPERIOD->isEnabled(), stepping);
    QCOMPARE(c.socket.payloads(), QList<QByteArray>{("p1t" + shown).toLatin1()});
}

void TestFrmMain::nextAndPreviousAtTheEndsDoNothing()
{
    Clock c;
    c.load({period(QStringLiteral("Only"), 0, 3)}, COUNT_DOWN);
    c.frm->mnRESETYES_Click(); // both stepping buttons enabled, at the first and last period alike
    c.frm->cmd1DW_Click();
    c.socket.take();
    const int switches = c.timer.switches;

    QTest::mouseClick(c.ui.cmdPREVPERIOD, Qt::LeftButton);
    QTest::mouseClick(c.ui.cmdNEXTPERIOD, Qt::LeftButton);
    QCOMPARE(c.model.CUR_PERIOD, std::int16_t{1});
    QCOMPARE(c.model.CUR_SECONDS, 2); // not reset
    QCOMPARE(c.timer.switches, switches);
    QVERIFY(c.ui.cmdPREVPERIOD->isEnabled() && c.ui.cmdNEXTPERIOD->isEnabled());
    QVERIFY(c.socket.take().empty());
}

void TestFrmMain::nextAndPreviousStepAndSetButtons()
{
    Clock c;
    c.load({period(QStringLiteral("1st"), 1, 0), period(QStringLiteral("2nd"), 2, 0),
            period(QStringLiteral("3rd"), 3, 0)},
           COUNT_DOWN);
    c.frm->mnRESETYES_Click();
    c.socket.take();

    c.frm->cmdNEXTPERIOD_Click();
    QCOMPARE(c.ui.lblPERIOD->text(), QStringLiteral("2nd"));
    QVERIFY(c.ui.cmdPREVPERIOD->isEnabled() && c.ui.cmdNEXTPERIOD->isEnabled());
    c.frm->cmdNEXTPERIOD_Click();
    QVERIFY(c.ui.cmdPREVPERIOD->isEnabled() && !c.ui.cmdNEXTPERIOD->isEnabled());
    c.frm->cmdPREVPERIOD_Click();
    c.frm->cmdPREVPERIOD_Click();
    QVERIFY(!c.ui.cmdPREVPERIOD->isEnabled() && c.ui.cmdNEXTPERIOD->isEnabled());
    QCOMPARE(c.frm->windowTitle(), QStringLiteral("1st/01:00"));
    QCOMPARE(textColour(c.ui.lblTIME), kRed);
    QCOMPARE(c.socket.payloads(), (QList<QByteArray>{"p2t02:00", "p3t03:00", "p2t02:00", "p1t01:00"}));
}

void TestFrmMain::resetPopup_data()
{
    QTest::addColumn<QString>("choice");
    QTest::addColumn<bool>("reset");
    QTest::newRow("Yes Reset time") << "Yes Reset time" << true;
    QTest::newRow("No/Cancel") << "No/Cancel" << false;
    QTest::newRow("dismissed") << "" << false;
}

void TestFrmMain::resetPopup()
{
    QFETCH(QString, choice);
    QFETCH(bool, reset);
    Clock c;
    c.load({period(QStringLiteral("P"), 10, 0), period(QStringLiteral("Q"), 5, 0)}, COUNT_DOWN);
    c.frm->show();
    QVERIFY(QTest::qWaitForWindowExposed(c.frm.get()));
    c.frm->cmdSTART_Click();
    for (int i = 0; i < 42; ++i)
        c.timer.fire();
    c.socket.take();

    korvo::test::chooseFromNextPopup(choice);
    QTest::mouseClick(c.ui.cmdRESET, Qt::LeftButton);
    QTRY_VERIFY(QApplication::activePopupWidget() == nullptr);

    QCOMPARE(c.ui.lblTIME->text(), reset ? QStringLiteral("10:00") : QStringLiteral("09:18"));
    QCOMPARE(c.timer.enabled, !reset); // the pop-up alone does not stop the clock
    QCOMPARE(textColour(c.ui.lblTIME), reset ? kRed : kBlack);
    QCOMPARE(c.ui.cmdPREVPERIOD->isEnabled(), reset);
    QCOMPARE(c.ui.cmdNEXTPERIOD->isEnabled(), reset);
    QCOMPARE(c.socket.payloads(), reset ? QList<QByteArray>{"p1t10:00"} : QList<QByteArray>{});
}

void TestFrmMain::askMeAnswers_data()
{
    QTest::addColumn<QStringList>("answers");
    QTest::addColumn<QString>("reported"); // "Error n" lines of the reports, joined by ","
    QTest::addColumn<int>("duration");
    QTest::addColumn<int>("prompts");
    QTest::newRow("5 and 0") << QStringList{"5", "0"} << "" << 300 << 2;
    QTest::newRow("seconds 75") << QStringList{"0", "75"} << "" << 75 << 2;
    QTest::newRow("99 and 99") << QStringList{"99", "99"} << "" << 6039 << 2;
    QTest::newRow("Cancel, Retry, 5") << QStringList{"", "5", "0"} << "Error 13" << 300 << 3;
    QTest::newRow("not a number") << QStringList{"five", "5", "0"} << "Error 13" << 300 << 3;
    QTest::newRow("100 minutes") << QStringList{"100", "1", "0"} << "Error 6" << 60 << 3;
    QTest::newRow("negative seconds") << QStringList{"1", "-1", "30"} << "Error 6" << 90 << 3;
    QTest::newRow("beyond 16 bits") << QStringList{"40000", "-5", "2", "0"} << "Error 6,Error 6" << 120 << 4;
}

void TestFrmMain::askMeAnswers()
{
    QFETCH(QStringList, answers);
    QFETCH(QString, reported);
    QFETCH(int, duration);
    QFETCH(int, prompts);
    Clock c;
    c.load({period(QStringLiteral("4th Quarter"), 10, 0), askMe(QStringLiteral("Overtime"))}, COUNT_DOWN);
    c.socket.take();
    for (const QString& a : answers)
        c.dialogs.inputs.push_back(a);
    c.trap.reporter.fallback = Answer::Retry;

    c.frm->cmdNEXTPERIOD_Click();
    QStringList heads;
    for (const QString& t : c.trap.reporter.texts) {
        heads.append(t.section(QStringLiteral("\r\n"), 0, 0));
        QCOMPARE(t.section(QStringLiteral("\r\n"), 2, 2),
                 QStringLiteral("Location: KorvoTimer.frmMAIN.cmdNEXTPERIOD_Click"));
    }
    QCOMPARE(heads.join(QLatin1Char(',')), reported);
    QCOMPARE(c.dialogs.prompts.size(), prompts);
    QCOMPARE(c.dialogs.prompts.first(), QStringLiteral("Minutes for the Overtime"));
    QCOMPARE(c.dialogs.prompts.last(), QStringLiteral("Seconds for the Overtime"));
    QCOMPARE(c.model.PERIOD_SECONDS, duration);
    QCOMPARE(c.model.CUR_SECONDS, duration);
    QCOMPARE(c.model.currentRecord().AskMe, korvo::model::kTrue);

    // Reset keeps the answered duration; entering the period again with Next asks again.
    c.model.CUR_SECONDS = 1;
    c.frm->mnRESETYES_Click();
    QCOMPARE(c.model.CUR_SECONDS, duration);
    QCOMPARE(c.dialogs.prompts.size(), prompts);
    c.frm->cmdPREVPERIOD_Click();
    c.dialogs.inputs = {QStringLiteral("1"), QStringLiteral("0")};
    c.frm->cmdNEXTPERIOD_Click();
    QCOMPARE(c.model.PERIOD_SECONDS, 60);
    QCOMPARE(c.dialogs.prompts.size(), prompts + 2);
}

void TestFrmMain::showTimeWithoutSetIsSilent()
{
    Clock c;
    c.frm->SHOW_TIME();
    QCOMPARE(c.ui.lblTIME->text(), QStringLiteral("99:99"));
    QCOMPARE(c.frm->windowTitle(), QStringLiteral("Korvo Timer"));
    c.frm->cmdPAUSE_Click();
    QCOMPARE(c.socket.payloads(), QList<QByteArray>{"pause"});
    QVERIFY(c.trap.reporter.texts.isEmpty());
}

void TestFrmMain::lateTickOverflowIsReported()
{
    Clock c;
    c.load({period(QStringLiteral("P"), 10, 0)}, COUNT_DOWN);
    c.frm->cmdSTART_Click();
    c.socket.take();
    QVERIFY(c.timer.fire(32767)); // the step no longer fits in 16 bits; Ignore leaves it at 0
    QCOMPARE(c.trap.reporter.texts.size(), 1);
    QCOMPARE(reportHead(c.trap.reporter.texts.first()),
             QStringLiteral("Error 6|Location: KorvoTimer.frmMAIN.Timer1_Timer"));
    QCOMPARE(c.socket.payloads(), QList<QByteArray>{"p1t10:00"});
}

QTEST_MAIN(TestFrmMain)
#include "tst_frmmain.moc"
