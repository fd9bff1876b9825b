// The main clock window driven as the operator drives it: real widgets and the real settings window, real
// datagrams on loopback (and, for one game, on a network of the test's own), a fake timer for the ticks,
// scripted input boxes and error reports; and start-up with the game a last run left in its journal.

#include "clock/LastGame.h"
#include "errors/StepGuard.h"
#include "platform/JournalFile.h"
#include "support/ClockRig.h"
#include "support/Ink.h"
#include "support/Namespace.h"
#include "ui/SymbolButton.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QImage>
#include <QLineEdit>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTextStream>
#include <QTimer>

using korvo::clock::ResumeOffer;
using korvo::model::COUNT_DOWN;
using korvo::model::COUNT_UP;
using namespace korvo::test;

/// Why this run has no network namespace of its own (see main), or empty.
static QString g_noNamespace;

class TestFrmMain final : public QObject
{
    Q_OBJECT

private slots:
    void startUp();
    void operate_data();
    void operate();
    void sToggles();
    void drawing();
    void resume();
    void gameOnTheNetwork();
};

/// Start-up as the program runs it: the settings window first, modal, composing one "Ask me" period, which
/// the clock asks for before it shows itself.
void TestFrmMain::startUp()
{
    ClockRig c;
    c.dialogs.inputs = {"20", "0"};
    QTimer::singleShot(0, [&] { // runs in the settings window's modal loop
        QCOMPARE(QApplication::activeModalWidget(), c.frmSet);
        QVERIFY(!c.frm->isVisible());
        const korvo::ui::SettingsWindowUi& ui = c.frmSet->widgets();
        QTest::keyClicks(ui.txtPERIODLEGEND, QStringLiteral("1st Half"));
        QTest::mouseClick(ui.chkASKME, Qt::LeftButton);
        QTest::mouseClick(ui.cmdADD, Qt::LeftButton);
        QTest::mouseClick(ui.optLEFT, Qt::LeftButton);
        QTest::mouseClick(ui.cmdOK, Qt::LeftButton);
    });
    c.frm->Form_Initialize();
    QCOMPARE(korvo::errors::faultHandlerRegistrations(), 1); // once per process, however many windows
    c.frm->Form_Load();
    QCOMPARE(c.state(), QStringLiteral("1st Half/20:00 red Minutes for the 1st Half|Seconds for the 1st Half"));
    // The first datagram goes to the load-time host; the operator's address takes over after it.
    QCOMPARE(c.socket.take(), QStringList{"192.168.000.255 p1t20:00"});
    QCOMPARE(c.socket.host, c.model.BROADCAST_IP);
}

void TestFrmMain::operate_data()
{
    QTest::addColumn<QList<int>>("lengths"); // of the periods, in seconds; -1 for "Ask me"
    QTest::addColumn<int>("mode");
    QTest::addColumn<QStringList>("steps");  // as ClockRig::operate takes them
    QTest::addColumn<QStringList>("inputs"); // the input boxes' answers, in turn
    QTest::addColumn<QString>("state");      // afterwards
    QTest::addColumn<QString>("datagrams");  // after start-up
    const auto row = [](const char* name, const QList<int>& lengths, int mode, const QStringList& steps,
                        const QStringList& inputs, const QString& state, const QString& datagrams) {
        QTest::newRow(name) << lengths << mode << steps << inputs << state << datagrams;
    };
    const int down = COUNT_DOWN;
    const QString end = QStringLiteral(" black E N D prev next");
    row("a late tick ends it; S pauses, S runs, and the next tick ends it again", {2}, down,
        {"S", "tick, 2 missed", "S", "S", "tick"}, {}, "P1/00:00" + end, "p1t00:00 pause p1t00:00");
    row("up, a tick past the end", {3}, COUNT_UP, {"S", "tick", "tick, 1 missed", "cmdSTART", "tick"}, {},
        "P1/00:03" + end, "p1t00:01 p1t00:03 p1t00:03");
    row("missed count beyond 16 bits", {600}, down, {"S", "tick, 32767 missed"}, {},
        "P1/10:00 black timer Error 6|Location: KorvoTimer.frmMAIN.Timer1_Timer", "p1t10:00");
    // A correction pauses a running clock; one that ends the period enables Previous and Next.
    row("down, corrections to the end", {20}, down, {"cmd1UP", "cmd10DW", "cmd1DW", "cmd10UP", "cmd10DW", "cmd10DW"},
        {}, "P1/00:00 red prev next", "p1t00:20 p1t00:10 p1t00:09 p1t00:19 p1t00:09 p1t00:00");
    row("up, 00:00 is not the end", {15}, COUNT_UP, {"S", "cmd1DW"}, {}, "P1/00:00 red", "p1t00:00");
    // At the last period Next does nothing, though Reset has enabled it.
    row("Next at the last period", {60, 120}, down,
        {"mnRESETYES", "cmdNEXTPERIOD", "mnRESETYES", "cmd1DW", "cmdNEXTPERIOD"}, {}, "P2/01:59 red prev next",
        "p1t01:00 p2t02:00 p2t02:00 p2t01:59");
    // Straight from a period that ran out: paused, the end marker gone; at the first period Previous is off.
    row("Next when a period has run out", {2, 120}, down, {"S", "tick", "tick", "cmdNEXTPERIOD"}, {},
        "P2/02:00 red prev", "p1t00:01 p1t00:00 p2t02:00");
    row("Previous when a period has run out", {60, 2}, down,
        {"mnRESETYES", "cmdNEXTPERIOD", "S", "tick", "tick", "cmdPREVPERIOD"}, {}, "P1/01:00 red next",
        "p1t01:00 p2t00:02 p2t00:01 p2t00:00 p1t01:00");
    // The pop-up alone does not stop the clock.
    row("Reset: No/Cancel", {600, 300}, down, {"S", "tick", "tick", "mnRESETNO"}, {}, "P1/09:58 black timer",
        "p1t09:59 p1t09:58");
    row("Reset: Yes, and Pause while paused", {600, 300}, down, {"S", "tick", "mnRESETYES", "cmdPAUSE"}, {},
        "P1/10:00 red prev next", "p1t09:59 p1t10:00 pause");
    const QString m = QStringLiteral("Minutes for the P2|");
    const QString ms = m + QStringLiteral("Seconds for the P2");
    const QString at = QStringLiteral("|Location: KorvoTimer.frmMAIN.cmdNEXTPERIOD_Click");
    row("Ask me: 5 and 0, kept by Reset", {600, -1}, down, {"mnRESETYES", "cmdNEXTPERIOD", "cmd1DW", "mnRESETYES"},
        {"5", "0"}, "P2/05:00 red prev next " + ms, "p1t10:00 p2t05:00 p2t04:59 p2t05:00");
    row("Previous back into an Ask me period keeps its answers", {600, -1, 300}, down,
        {"mnRESETYES", "cmdNEXTPERIOD", "mnRESETYES", "cmdNEXTPERIOD", "cmdPREVPERIOD"}, {"5", "0"},
        "P2/05:00 red prev next " + ms, "p1t10:00 p2t05:00 p2t05:00 p3t05:00 p2t05:00");
    row("Ask me: Cancel, Retry", {600, -1}, down, {"Retry", "mnRESETYES", "cmdNEXTPERIOD"}, {"", "5", "0"},
        "P2/05:00 red prev " + m + ms + " Error 13" + at, "p1t10:00 p2t05:00");
    row("Ask me: 100 minutes, Retry", {600, -1}, down, {"Retry", "mnRESETYES", "cmdNEXTPERIOD"}, {"100", "1", "0"},
        "P2/01:00 red prev " + m + ms + " Error 6" + at, "p1t10:00 p2t01:00");
}

void TestFrmMain::operate()
{
    QFETCH(QList<int>, lengths);
    QFETCH(int, mode);
    QFETCH(QStringList, steps);
    QFETCH(QStringList, inputs);
    QFETCH(QString, state);
    QFETCH(QString, datagrams);
    ClockRig c;
    c.load(lengths, mode);
    c.socket.take();
    c.dialogs.inputs.assign(inputs.begin(), inputs.end());
    c.operate(steps);
    QCOMPARE(c.state(), state);
    QCOMPARE(c.socket.take().replaceInStrings(QRegularExpression("^\\S+ "), QString()).join(' '), datagrams);
}

/// S starts and pauses whichever button has the focus and whatever the shift, control and alt keys; no
/// other key does.
void TestFrmMain::sToggles()
{
    ClockRig c;
    c.load({1200}, COUNT_DOWN);
    QApplication::setActiveWindow(c.frm.get());
    QVERIFY(QTest::qWaitForWindowActive(c.frm.get()));
    const std::pair<QWidget*, Qt::KeyboardModifiers> presses[] = {{c.ui.cmdSTART, Qt::NoModifier},
        {c.ui.cmdPAUSE, Qt::ShiftModifier}, {c.ui.cmd10DW, Qt::ControlModifier}, {c.ui.cmdRESET, Qt::AltModifier}};
    bool running = false;
    for (const auto& [w, modifiers] : presses) {
        w->setFocus();
        QTRY_COMPARE(QApplication::focusWidget(), w);
        QTest::keyClick(c.frm->windowHandle(), Qt::Key_S, modifiers);
        running = !running;
        QCOMPARE(c.timer.enabled, running);
    }
    QTest::keyClick(c.frm->windowHandle(), Qt::Key_P);
    QVERIFY(!c.timer.enabled);
}

/// Operator text as typed; "E N D" readable over the digits; each button's symbol in the middle of its face,
/// taking a fair share of it, in the colour of the button's text (grey when disabled).
void TestFrmMain::drawing()
{
    ClockRig c;
    // "[*]" is Qt's mark of a modified window, and a label would take "<b>" for bold type.
    c.settingsWindow = [&c] {
        c.model.applySet({{"<b>OT</b> [*]", korvo::model::kFalse, 0, 2}}, COUNT_DOWN, "10.0.0.255");
    };
    c.frm->Form_Load();
    c.frm->show();
    QCOMPARE(c.frm->windowHandle()->title(), QStringLiteral("<b>OT</b> [*]/00:02"));
    const int typed = pixels(inkOf(c.ui.lblPERIOD->grab().toImage(), Qt::blue));
    c.ui.lblPERIOD->setText(QStringLiteral("OT"));
    QVERIFY2(typed > 3 * pixels(inkOf(c.ui.lblPERIOD->grab().toImage(), Qt::blue)), "markup taken for bold type");
    // At the end of a period "E N D" hides the black digits under it: yellow letters on the window's colour.
    c.operate({"S", "tick", "tick"});
    const QImage end = c.frm->grab(c.ui.lblEND->geometry()).toImage();
    QVERIFY(inkOf(end, Qt::black).isEmpty() && pixels(inkOf(end, Qt::yellow)) > 100);
    for (korvo::ui::SymbolButton* b : c.frm->findChildren<korvo::ui::SymbolButton*>()) {
        const QColor ink = b->palette().color(b->isEnabled() ? QPalette::Active : QPalette::Disabled,
                                              QPalette::ButtonText);
        // Inside the bevel, so that a grey frame is not taken for a grey symbol.
        const QRegion symbol = inkOf(b->grab().toImage(), ink) & b->rect().adjusted(3, 3, -3, -3);
        const double share = pixels(symbol) / double(b->width() * b->height());
        const QPointF off = QRectF(symbol.boundingRect()).center() - QPointF(b->width(), b->height()) / 2;
        QVERIFY2(share > 0.03 && share < 0.5 && std::abs(off.x()) < 3 && std::abs(off.y()) < 3,
                 qPrintable(b->objectName() + QStringLiteral(": %1 of the face, off by %2, %3")
                                                  .arg(share).arg(off.x()).arg(off.y())));
    }
}

/// Start-up after a kill in the middle of a game: the game is offered and, on Yes, shown paused where it
/// stood, its datagrams at its own address. Then the same journal cut short, as a full disk leaves it: set
/// aside with a report. (Answered No, a normal end, and the options: the black-box story.)
void TestFrmMain::resume()
{
    QTemporaryDir dir;
    {
        // Left, when the journal's writer has finished, as a kill leaves it.
        korvo::platform::JournalFile journal(dir.path());
        ClockRig last(nullptr, &journal);
        last.load({60, -1}, COUNT_DOWN, QStringLiteral("127.0.0.255"));
        last.dialogs.inputs = {"5", "0"};
        last.operate({"mnRESETYES", "cmdNEXTPERIOD", "cmdSTART", "tick", "tick"});
    }
    QString errors;
    QTextStream errorStream(&errors);
    {
        korvo::platform::JournalFile journal(dir.path());
        ClockRig c(nullptr, &journal); // its dialogs answer Yes
        const auto game = korvo::clock::offerLastGame(journal, c.dialogs, ResumeOffer::IfUnfinished, errorStream);
        QVERIFY(game);
        c.frm->setResumedGame(*game);
        c.load({60}, COUNT_DOWN); // the settings window is not shown
        QCOMPARE(c.dialogs.questions, QStringList{"The last game did not end normally: P2 04:58, period 2 of 2. "
                                                  "Resume it?\nThe clock was running; the time while the program "
                                                  "was down is not counted."});
        QCOMPARE(c.state(), QStringLiteral("P2/04:58 red prev next"));
        c.operate({"cmd1DW", "cmdPREVPERIOD"});
        QCOMPARE(c.socket.take().join(' '), "127.0.0.255 p2t04:58 127.0.0.255 p2t04:57 127.0.0.255 p1t01:00");
    }
    QVERIFY(QFile::resize(dir.filePath(QStringLiteral("journal.json")), 100));
    korvo::platform::JournalFile journal(dir.path());
    korvo::fakes::FakeDialogs dialogs;
    QVERIFY(!korvo::clock::offerLastGame(journal, dialogs, ResumeOffer::IfUnfinished, errorStream));
    QVERIFY2(errors.startsWith("korvo-timer: the saved game cannot be resumed (not a whole journal); set aside as "),
             qPrintable(errors));
    QCOMPARE(QDir(dir.path()).entryList({QStringLiteral("journal-*.json")}).size(), 1);
}

/// The datagrams of a short game, byte for byte and with their destinations, as a display on the network
/// receives them: kt0 holds 192.168.0.1/24 and kt2 10.1.2.3/24, with the default route through kt2.
void TestFrmMain::gameOnTheNetwork()
{
    if (!g_noNamespace.isEmpty())
        QSKIP(qPrintable(g_noNamespace));
    QVERIFY(korvo::test::sh(
        "ip link add kt0 type veth peer name kt1 && ip link add kt2 type veth peer name kt3"
        " && ip addr add 192.168.0.1/24 brd + dev kt0 && ip addr add 10.1.2.3/24 brd + dev kt2"
        " && for l in kt0 kt1 kt2 kt3; do ip link set $l up || exit 1; done && for _ in $(seq 50); do"
        " ip -4 route get 10.1.2.255 && ip -4 route get 192.168.0.255 && break; sleep 0.02; done >/dev/null 2>&1"
        " && ip route add default via 10.1.2.1 dev kt2"));
    QUdpSocket receiver;
    QVERIFY(receiver.bind(QHostAddress(QHostAddress::AnyIPv4), 7699, QUdpSocket::ShareAddress));
    korvo::platform::UdpSocket socket;
    ClockRig c(&socket);
    // The network proposed is that of the interface holding the default route, not the first one.
    c.frmSet->Form_Load();
    QCOMPARE(c.frmSet->ipText(), QStringLiteral("010.001.002"));
    c.load({3}, COUNT_DOWN, QStringLiteral("10.1.2.255"));
    c.operate({"S", "tick", "S"});
    const QStringList expected{"192.168.0.255 p1t00:03", // the load-time host, 192.168.000.255
                               "10.1.2.255 p1t00:02", "10.1.2.255 pause"};
    QStringList received; // and anything more would be a datagram too many
    while (receiver.hasPendingDatagrams()
           || receiver.waitForReadyRead(received.size() < expected.size() ? 2000 : 200)) {
        const QNetworkDatagram d = receiver.receiveDatagram();
        received.append(d.destinationAddress().toString() + QLatin1Char(' ') + QString::fromLatin1(d.data()));
    }
    QCOMPARE(received, expected);
}

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    if (const int code = korvo::test::rerunInNamespaces(g_noNamespace); code >= 0)
        return code;
    TestFrmMain test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_frmmain.moc"
