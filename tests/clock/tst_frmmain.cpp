// The main clock window driven as the operator drives it: real widgets and the real settings window, real
// datagrams on loopback (and, for one game, on a network of the test's own), a fake timer for the ticks,
// scripted input boxes and error reports; and start-up with the game a last run left in its journal.

#include "clock/LastGame.h"
#include "errors/StepGuard.h"
#include "platform/JournalFile.h"
#include "support/ClockRig.h"
#include "support/Namespace.h"
#include "ui/SymbolButton.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFontDatabase>
#include <QFontInfo>
#include <QImage>
#include <QLineEdit>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTextStream>
#include <QTimer>
#include <QWindow>

using korvo::clock::ResumeOffer;
using korvo::model::COUNT_DOWN;
using korvo::model::COUNT_UP;
using korvo::test::ClockRig;
using Reply = korvo::platform::Dialogs::Reply;

namespace {

/// Why this run has no network namespace of its own (see main), or empty.
QString g_noNamespace;

/// The widget drawn at a device pixel ratio, as on a screen of that scale.
QImage render(QWidget* widget, qreal scale)
{
    QImage image(widget->size() * scale, QImage::Format_ARGB32);
    image.setDevicePixelRatio(scale);
    image.fill(widget->palette().color(QPalette::Window));
    widget->render(&image);
    return image;
}

/// How many pixels come close to the colour (leaving out a frame of `margin`), and the box around them.
std::pair<int, QRect> inkOf(const QImage& image, const QColor& colour, int margin = 0)
{
    std::pair<int, QRect> ink;
    for (int y = margin; y < image.height() - margin; ++y)
        for (int x = margin; x < image.width() - margin; ++x) {
            const QColor p = image.pixelColor(x, y);
            if (std::abs(p.red() - colour.red()) + std::abs(p.green() - colour.green())
                    + std::abs(p.blue() - colour.blue()) < 40) {
                ++ink.first;
                ink.second |= QRect(x, y, 1, 1);
            }
        }
    return ink;
}

} // namespace

class TestFrmMain final : public QObject
{
    Q_OBJECT

private slots:
    void startUp();
    void operate_data();
    void operate();
    void sToggles();
    void drawing();
    void resume_data();
    void resume();
    void gameOnTheNetwork();
};

/// Start-up as the program runs it: the settings window first, modal, composing one "Ask me" period, which
/// the clock asks for before it shows itself.
void TestFrmMain::startUp()
{
    ClockRig c;
    c.dialogs.inputs = {"20", "0"};
    bool settingsFirst = false;
    QTimer::singleShot(0, [&] { // runs in the settings window's modal loop
        QCOMPARE(QApplication::activeModalWidget(), c.frmSet);
        const korvo::ui::SettingsWindowUi& ui = c.frmSet->widgets();
        settingsFirst = !c.frm->isVisible();
        QTest::keyClicks(ui.txtPERIODLEGEND, QStringLiteral("1st Half"));
        QTest::mouseClick(ui.chkASKME, Qt::LeftButton);
        QTest::mouseClick(ui.cmdADD, Qt::LeftButton);
        QTest::mouseClick(ui.optLEFT, Qt::LeftButton);
        QTest::mouseClick(ui.cmdOK, Qt::LeftButton);
    });
    c.frm->Form_Initialize();
    QCOMPARE(korvo::errors::faultHandlerRegistrations(), 1); // once per process, however many windows
    c.frm->Form_Load();
    QVERIFY(settingsFirst);
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
    QStringList tenMinutes;
    for (int s = 599; s >= 0; --s)
        tenMinutes.append(QString::asprintf("p1t%02d:%02d", s / 60, s % 60));
    row("10:00 runs out", {600}, down, QStringList{"S"} + QStringList(600, "tick"), {}, "P1/00:00" + end, tenMinutes.join(' '));
    row("S after the end pauses", {2}, down, {"S", "tick", "tick", "S"}, {}, "P1/00:00 red prev next",
        "p1t00:01 p1t00:00 pause");
    row("S again: runs, and the next tick ends it again", {2}, down, {"S", "tick", "tick", "S", "S", "tick"}, {},
        "P1/00:00" + end, "p1t00:01 p1t00:00 pause p1t00:00");
    row("down, late ticks", {5}, down, {"S", "tick, 2 missed", "tick, 2 missed"}, {}, "P1/00:00" + end, "p1t00:02 p1t00:00");
    row("up, a tick past the end", {3}, COUNT_UP, {"S", "tick", "tick, 1 missed", "cmdSTART", "tick"}, {},
        "P1/00:03" + end, "p1t00:01 p1t00:03 p1t00:03");
    row("missed count beyond 16 bits", {600}, down, {"S", "tick, 32767 missed"}, {},
        "P1/10:00 black timer Error 6|Location: KorvoTimer.frmMAIN.Timer1_Timer", "p1t10:00");
    // A correction pauses a running clock; one that ends the period enables Previous and Next.
    row("a correction pauses", {20}, down, {"S", "cmd1UP"}, {}, "P1/00:20 red", "p1t00:20");
    row("down, corrections to the end", {20}, down, {"cmd1UP", "cmd10DW", "cmd1DW", "cmd10UP", "cmd10DW", "cmd10DW"},
        {}, "P1/00:00 red prev next", "p1t00:20 p1t00:10 p1t00:09 p1t00:19 p1t00:09 p1t00:00");
    row("up, 00:00 is not the end", {15}, COUNT_UP, {"S", "cmd1DW"}, {}, "P1/00:00 red", "p1t00:00");
    row("up, corrections to the end", {15}, COUNT_UP, {"cmd10UP", "cmd1UP", "cmd10UP"}, {}, "P1/00:15 red prev next",
        "p1t00:10 p1t00:11 p1t00:15");
    // At the first and last periods Previous and Next do nothing, though Reset has enabled both.
    row("Previous at the first period", {60, 120}, down, {"mnRESETYES", "cmd1DW", "cmdPREVPERIOD"}, {},
        "P1/00:59 red prev next", "p1t01:00 p1t00:59");
    row("Next to the last period", {60, 120}, down, {"mnRESETYES", "cmdNEXTPERIOD"}, {}, "P2/02:00 red prev",
        "p1t01:00 p2t02:00");
    row("Next at the last period", {60, 120}, down, {"mnRESETYES", "cmdNEXTPERIOD", "mnRESETYES", "cmd1DW", "cmdNEXTPERIOD"},
        {}, "P2/01:59 red prev next", "p1t01:00 p2t02:00 p2t02:00 p2t01:59");
    row("Previous to the first period", {60, 120}, down, {"mnRESETYES", "cmdNEXTPERIOD", "cmdPREVPERIOD"}, {},
        "P1/01:00 red next", "p1t01:00 p2t02:00 p1t01:00");
    // Straight from a period that ran out: paused, the end marker gone, so that S starts the clock.
    row("Next when a period has run out", {2, 120}, down, {"S", "tick", "tick", "cmdNEXTPERIOD"}, {}, "P2/02:00 red prev",
        "p1t00:01 p1t00:00 p2t02:00");
    row("Previous when a period has run out", {60, 2}, down,
        {"mnRESETYES", "cmdNEXTPERIOD", "S", "tick", "tick", "cmdPREVPERIOD", "S"}, {}, "P1/01:00 black timer",
        "p1t01:00 p2t00:02 p2t00:01 p2t00:00 p1t01:00");
    // The pop-up alone does not stop the clock.
    row("Reset: No/Cancel", {600, 300}, down, {"S", "tick", "tick", "mnRESETNO"}, {}, "P1/09:58 black timer",
        "p1t09:59 p1t09:58");
    row("Reset: Yes", {600, 300}, down, {"S", "tick", "mnRESETYES"}, {}, "P1/10:00 red prev next", "p1t09:59 p1t10:00");
    row("Pause while paused sends pause again", {600}, down, {"cmdPAUSE", "cmdPAUSE"}, {}, "P1/10:00 red", "pause pause");
    const QString m = QStringLiteral("Minutes for the P2|");
    const QString ms = m + QStringLiteral("Seconds for the P2");
    const QString at = QStringLiteral("|Location: KorvoTimer.frmMAIN.cmdNEXTPERIOD_Click");
    row("Ask me: 5 and 0, kept by Reset", {600, -1}, down, {"mnRESETYES", "cmdNEXTPERIOD", "cmd1DW", "mnRESETYES"},
        {"5", "0"}, "P2/05:00 red prev next " + ms, "p1t10:00 p2t05:00 p2t04:59 p2t05:00");
    row("Ask me: asked again on entering again", {600, -1}, down,
        {"mnRESETYES", "cmdNEXTPERIOD", "cmdPREVPERIOD", "cmdNEXTPERIOD"}, {"5", "0", "1", "0"},
        "P2/01:00 red prev " + ms + '|' + ms, "p1t10:00 p2t05:00 p1t10:00 p2t01:00");
    row("Previous back into an Ask me period keeps its answers", {600, -1, 300}, down,
        {"mnRESETYES", "cmdNEXTPERIOD", "mnRESETYES", "cmdNEXTPERIOD", "cmdPREVPERIOD"}, {"5", "0"},
        "P2/05:00 red prev next " + ms, "p1t10:00 p2t05:00 p2t05:00 p3t05:00 p2t05:00");
    row("Ask me: 99 and 99", {600, -1}, down, {"mnRESETYES", "cmdNEXTPERIOD"}, {"99", "99"}, "P2/100:39 red prev " + ms,
        "p1t10:00 p2t100:39");
    row("Ask me: Cancel, Retry", {600, -1}, down, {"Retry", "mnRESETYES", "cmdNEXTPERIOD"}, {"", "5", "0"},
        "P2/05:00 red prev " + m + ms + " Error 13" + at, "p1t10:00 p2t05:00");
    row("Ask me: 100 minutes, Retry", {600, -1}, down, {"Retry", "mnRESETYES", "cmdNEXTPERIOD"}, {"100", "1", "0"},
        "P2/01:00 red prev " + m + ms + " Error 6" + at, "p1t10:00 p2t01:00");
    row("Ask me: seconds -1, Retry", {600, -1}, down, {"Retry", "mnRESETYES", "cmdNEXTPERIOD"}, {"1", "-1", "30"},
        "P2/01:30 red prev " + ms + "|Seconds for the P2 Error 6" + at, "p1t10:00 p2t01:30");
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
    c.socket.payloads();
    c.dialogs.inputs.assign(inputs.begin(), inputs.end());
    c.operate(steps);
    QCOMPARE(c.state(), state);
    QCOMPARE(c.socket.payloads(), datagrams.toLatin1());
    QVERIFY(c.dialogs.inputs.empty());
}

/// The window previews every key, whichever control has the focus: S toggles the clock once per press.
void TestFrmMain::sToggles()
{
    ClockRig c;
    c.load({1200}, COUNT_DOWN);
    QApplication::setActiveWindow(c.frm.get());
    QVERIFY(QTest::qWaitForWindowActive(c.frm.get()));
    // Whichever button has the focus, whatever the shift, control and alt keys.
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
    QTest::keyClick(c.frm->windowHandle(), Qt::Key_P); // no other key toggles
    QVERIFY(!c.timer.enabled);
}

void TestFrmMain::drawing()
{
    ClockRig c;
    // A legend is shown as typed, in the caption ("[*]" is Qt's mark of a modified window) and in the label.
    c.loadSet({{"<b>OT</b> [*]", korvo::model::kFalse, 1, 0}}, COUNT_DOWN, QStringLiteral("192.168.1.255"));
    QCOMPARE(c.frm->windowHandle()->title(), QStringLiteral("<b>OT</b> [*]/01:00"));
    const int typed = inkOf(render(c.ui.lblPERIOD, 1), Qt::blue).second.width();
    c.ui.lblPERIOD->setText(QStringLiteral("OT"));
    QVERIFY2(typed > 3 * inkOf(render(c.ui.lblPERIOD, 1), Qt::blue).second.width(), "markup taken for bold type");
    // At the end of a period "E N D" hides the black digits under it: yellow letters on the window's colour.
    c.operate(QStringList{"S"} + QStringList(60, "tick"));
    const QImage end = c.frm->grab(c.ui.lblEND->geometry()).toImage();
    QVERIFY(inkOf(end, Qt::black).first == 0 && inkOf(end, Qt::yellow).first > 100);
    // Heavy digits, large but inside their label, and at twice the scale drawn anew at twice the size (a
    // vector face), not a bitmap blown up.
    const QFontInfo face(c.ui.lblTIME->font());
    QVERIFY2(QFontDatabase::families().contains(face.family()) && face.weight() >= QFont::Bold, qPrintable(face.family()));
    c.ui.lblTIME->setText(QStringLiteral("10:00"));
    const auto [count, box] = inkOf(render(c.ui.lblTIME, 1), Qt::black);
    const auto [count2, box2] = inkOf(render(c.ui.lblTIME, 2), Qt::black);
    QVERIFY2(count > 400 && box.height() >= 20 && box.width() >= 80 && c.ui.lblTIME->rect().contains(box),
             qPrintable(QStringLiteral("%1 pixels in %2x%3").arg(count).arg(box.width()).arg(box.height())));
    QVERIFY(std::abs(box2.width() - 2 * box.width()) <= 4 && std::abs(box2.height() - 2 * box.height()) <= 4
            && count2 > 3 * count);

    // Each button's symbol in the middle of its face, taking a fair share of it, in the colour of the
    // button's text (grey when disabled).
    for (korvo::ui::SymbolButton* b : c.frm->findChildren<korvo::ui::SymbolButton*>()) {
        const auto group = b->isEnabled() ? QPalette::Active : QPalette::Disabled;
        for (qreal scale : {1.0, 2.0}) {
            // Inside the bevel, so that a grey frame is not taken for a grey symbol.
            const auto [n, where] = inkOf(render(b, scale), b->palette().color(group, QPalette::ButtonText),
                                          static_cast<int>(3 * scale));
            const double share = n / (scale * scale * b->width() * b->height());
            const QPointF middle = QRectF(where).center() / scale - QPointF(b->width(), b->height()) / 2;
            QVERIFY2(share > 0.03 && share < 0.5 && std::abs(middle.x()) < 3 && std::abs(middle.y()) < 3,
                     qPrintable(b->objectName() + QStringLiteral(": %1 of the face, off by %2, %3")
                                                      .arg(share).arg(middle.x()).arg(middle.y())));
        }
    }
}

void TestFrmMain::resume_data()
{
    QTest::addColumn<QString>("lastRun"); // killed, ended (normally) or cut (its journal cut short)
    QTest::addColumn<ResumeOffer>("offer");
    QTest::addColumn<bool>("yes");
    QTest::addColumn<QString>("question");
    QTest::addColumn<QString>("state");     // after start-up
    QTest::addColumn<QString>("datagrams"); // from start-up, through -1 and Previous
    QTest::addColumn<int>("setAside");
    QTest::addColumn<QString>("error");
    // Killed and answered No, a normal end, and --no-resume, are left to the black-box story.
    const QString game = QStringLiteral(": P2 04:58, period 2 of 2. Resume it?\n"
                                        "The clock was running; the time while the program was down is not counted.");
    const QString fresh = QStringLiteral("192.168.000.255 p1t01:00 192.168.1.255 p1t00:59");
    QTest::newRow("killed: Yes") << "killed" << ResumeOffer::IfUnfinished << true
                                 << "The last game did not end normally" + game << "P2/04:58 red prev next"
                                 << "127.0.0.255 p2t04:58 127.0.0.255 p2t04:57 127.0.0.255 p1t01:00" << 0 << "";
    QTest::newRow("ended, --resume: No") << "ended" << ResumeOffer::Always << false
                                         << "The last game ended normally" + game << "P1/01:00 red" << fresh << 1 << "";
    QTest::newRow("cut short") << "cut" << ResumeOffer::IfUnfinished << true << "" << "P1/01:00 red" << fresh << 1
                               << "korvo-timer: the saved game cannot be resumed (not a whole journal); set aside as ";
}

void TestFrmMain::resume()
{
    QFETCH(QString, lastRun);
    QFETCH(ResumeOffer, offer);
    QFETCH(bool, yes);
    QFETCH(QString, question);
    QFETCH(QString, state);
    QFETCH(QString, datagrams);
    QFETCH(int, setAside);
    QFETCH(QString, error);
    QTemporaryDir dir;
    {
        // Left, when the journal's writer has finished, as a kill leaves it.
        korvo::platform::JournalFile journal(dir.path());
        ClockRig last(nullptr, &journal);
        last.load({60, -1}, COUNT_DOWN, QStringLiteral("127.0.0.255"));
        last.dialogs.inputs = {"5", "0"};
        last.operate({"mnRESETYES", "cmdNEXTPERIOD", "cmdSTART", "tick", "tick"});
        korvo::fakes::FakeEnd end; // End or Abort; the close box calls finishGame() alone
        if (lastRun == QLatin1String("ended"))
            korvo::clock::FinishingEnd(journal, last.model, end).endProgram();
    }
    if (lastRun == QLatin1String("cut"))
        QVERIFY(QFile::resize(dir.filePath(QStringLiteral("journal.json")), 100));

    korvo::platform::JournalFile journal(dir.path());
    ClockRig c(nullptr, &journal);
    c.dialogs.yesNo.push_back(yes ? Reply::Yes : Reply::No);
    QString errors;
    QTextStream errorStream(&errors);
    if (const auto game = korvo::clock::offerLastGame(journal, c.dialogs, offer, errorStream))
        c.frm->setResumedGame(*game);
    c.load({60}, COUNT_DOWN); // what the settings window applies, if it runs
    QCOMPARE(c.state(), state);
    c.operate({"cmd1DW", "cmdPREVPERIOD"});
    QCOMPARE(c.dialogs.questions, question.isEmpty() ? QStringList() : QStringList{question});
    QCOMPARE(c.socket.take().join(' '), datagrams);
    QCOMPARE(QDir(dir.path()).entryList({QStringLiteral("journal-*.json")}).size(), setAside);
    QCOMPARE(errors.left(error.size()), error);
    QCOMPARE(errors.count(QLatin1Char('\n')), error.isEmpty() ? 0 : 1);
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
    c.load({3, -1}, COUNT_DOWN, QStringLiteral("10.1.2.255"));
    c.dialogs.inputs = {"1", "5"};
    c.operate({"S", "tick", "tick, 1 missed", "S", "cmdNEXTPERIOD", "cmd10DW", "S", "tick", "S", "mnRESETYES",
               "cmdPREVPERIOD", "cmdPREVPERIOD"});
    QVERIFY(c.trap.reporter.texts.isEmpty());
    const QStringList expected{"192.168.0.255 p1t00:03", // the load-time host, 192.168.000.255
                               "10.1.2.255 p1t00:02", "10.1.2.255 p1t00:00", "10.1.2.255 pause",
                               "10.1.2.255 p2t01:05", "10.1.2.255 p2t00:55", "10.1.2.255 p2t00:54",
                               "10.1.2.255 pause", "10.1.2.255 p2t01:05", "10.1.2.255 p1t00:03"};
    QStringList received; // and anything more would be a datagram too many
    while (receiver.hasPendingDatagrams() || receiver.waitForReadyRead(received.size() < expected.size() ? 2000 : 200)) {
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
