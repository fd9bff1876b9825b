// The main clock window driven as the operator drives it: real widgets and the real settings window,
// real datagrams on loopback, a fake timer for the ticks, scripted input boxes and error reports.

#include "errors/StepGuard.h"
#include "settings/FrmSet.h"
#include "support/ClockRig.h"
#include "support/Files.h"
#include "ui/SettingsWindowUi.h"

#include <QCheckBox>
#include <QFontDatabase>
#include <QFontInfo>
#include <QImage>
#include <QLineEdit>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>
#include <QWindow>

using korvo::model::COUNT_DOWN;
using korvo::model::COUNT_UP;
using korvo::ui::SymbolButton;
using Clock = korvo::test::Clock<>;

namespace {

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

class TestFrmMain : public QObject
{
    Q_OBJECT

private slots:
    void startUp_data();
    void startUp();
    void operate_data();
    void operate();
    void sReachesWindowWhicheverButtonHasFocus();
    void digitsAndSymbolsAreDrawn();
};

void TestFrmMain::startUp_data()
{
    QTest::addColumn<QByteArray>("file"); // loaded when there is one, else one "Ask me" period composed
    QTest::addColumn<QString>("finish");
    QTest::addColumn<QStringList>("inputs");
    QTest::addColumn<QString>("state");
    QTest::newRow("loaded countdown") << QByteArray("TimeLeft\r\n1st Quarter\r\n10:00\r\n2nd Quarter\r\n10:00\r\n")
                                      << "OK" << QStringList() << "1st Quarter/10:00 red";
    QTest::newRow("loaded clock timer") << QByteArray("TimePass\r\n1st Half\r\n45:00\r\n") << "OK" << QStringList()
                                        << "1st Half/00:00 red";
    QTest::newRow("first period Ask me") << QByteArray() << "OK" << QStringList{"20", "0"}
                                         << "1st Half/20:00 red Minutes for the 1st Half|Seconds for the 1st Half";
    QTest::newRow("Esc does nothing, then OK") << QByteArray() << "Esc" << QStringList{"20", "0"}
                                               << "1st Half/20:00 red Minutes for the 1st Half|Seconds for the 1st Half";
    const QString notStarted = QStringLiteral("Korvo Timer clock 99:99 black next"); // as the window was built
    QTest::newRow("End") << QByteArray() << "End" << QStringList() << notStarted;
    QTest::newRow("close box before any set") << QByteArray() << "close" << QStringList() << notStarted;
}

void TestFrmMain::startUp()
{
    QFETCH(QByteArray, file);
    QFETCH(QString, finish);
    QFETCH(QStringList, inputs);
    QFETCH(QString, state);
    QTemporaryDir dir;
    Clock c;
    c.dialogs.openNames.push_back(korvo::test::writeFile(dir.filePath(QStringLiteral("set.ptm")), file));
    c.dialogs.inputs.assign(inputs.begin(), inputs.end());
    bool settingsFirst = false;
    const auto settingsWindow = [] { return qobject_cast<korvo::settings::FrmSet*>(QApplication::activeModalWidget()); };
    korvo::test::whenUp(settingsWindow, [&](QWidget& w) {
        const korvo::ui::SettingsWindowUi& ui = static_cast<korvo::settings::FrmSet&>(w).widgets();
        settingsFirst = !c.frm->isVisible();
        if (!file.isEmpty()) {
            QTest::mouseClick(ui.cmdLOAD, Qt::LeftButton);
        } else if (finish != QLatin1String("close")) {
            QTest::keyClicks(ui.txtPERIODLEGEND, QStringLiteral("1st Half"));
            QTest::mouseClick(ui.chkASKME, Qt::LeftButton);
            QTest::mouseClick(ui.cmdADD, Qt::LeftButton);
            QTest::mouseClick(ui.optLEFT, Qt::LeftButton);
        }
        if (finish == QLatin1String("Esc")) { // the window must still be there
            QTest::keyClick(ui.txtPERIODLEGEND, Qt::Key_Escape);
            settingsFirst = settingsFirst && w.isVisible();
        }
        if (finish == QLatin1String("close"))
            w.close();
        else
            QTest::mouseClick(finish == QLatin1String("End") ? ui.cmdCANCEL : ui.cmdOK, Qt::LeftButton);
    });
    c.frm->Form_Initialize();
    QCOMPARE(korvo::errors::faultHandlerRegistrations(), 1); // once per process, however many windows
    c.frm->Form_Load();
    QVERIFY(settingsFirst);

    const bool ended = finish == QLatin1String("End") || finish == QLatin1String("close");
    QCOMPARE(c.trap.end.count, ended ? 1 : 0);
    QCOMPARE(!c.model.PERIODS, ended);
    QCOMPARE(korvo::test::state(c), state);
    // The first datagram goes to the load-time host; the operator's address takes over after it.
    QCOMPARE(c.socket.payloads(), ended ? QByteArray() : "p1t" + c.ui.lblTIME->text().toLatin1());
    QCOMPARE(c.socket.hosts, ended ? QStringList() : QStringList{"192.168.000.255"});
    QCOMPARE(c.socket.host, ended ? QStringLiteral("192.168.000.255") : c.model.BROADCAST_IP);
}

void TestFrmMain::operate_data()
{
    QTest::addColumn<QList<int>>("lengths"); // of the periods, in seconds; -1 for "Ask me"
    QTest::addColumn<int>("mode");
    QTest::addColumn<QString>("script"); // as play() takes it
    QTest::addColumn<QStringList>("states");
    QTest::addColumn<QString>("datagrams"); // after start-up
    const QString end = QStringLiteral(" black E N D prev next");
    QStringList tenMinutes;
    for (int s = 599; s >= 0; --s)
        tenMinutes.append(QString::asprintf("p1t%02d:%02d", s / 60, s % 60));
    QTest::newRow("10:00 runs out; S after the end") << QList<int>{600} << COUNT_DOWN << "S ? 600*t ? S ? S ? t ?"
        << QStringList{"P1/10:00 black timer", "P1/00:00" + end, "P1/00:00 red prev next", "P1/00:00 black timer",
                       "P1/00:00" + end}
        << tenMinutes.join(QLatin1Char(' ')) + " pause p1t00:00";
    QTest::newRow("down, late ticks") << QList<int>{5} << COUNT_DOWN << "S t2 ? t2 ?"
                                      << QStringList{"P1/00:02 black timer", "P1/00:00" + end} << "p1t00:02 p1t00:00";
    QTest::newRow("up, to the end; Start; past it") << QList<int>{3} << COUNT_UP << "S t t1 ? > ? t ?"
        << QStringList{"P1/00:03" + end, "P1/00:03 black timer", "P1/00:03" + end} << "p1t00:01 p1t00:03 p1t00:03";
    QTest::newRow("missed count beyond 16 bits")
        << QList<int>{600} << COUNT_DOWN << "S t32767 ?"
        << QStringList{"P1/10:00 black timer Error 6|Location: KorvoTimer.frmMAIN.Timer1_Timer"} << "p1t10:00";
    // A correction pauses a running clock; one that ends the period enables Previous and Next.
    QTest::newRow("down, corrections") << QList<int>{20} << COUNT_DOWN << "S +1 ? -10 -1 +10 ? -10 -10 ?"
        << QStringList{"P1/00:20 red", "P1/00:19 red", "P1/00:00 red prev next"}
        << "p1t00:20 p1t00:10 p1t00:09 p1t00:19 p1t00:09 p1t00:00";
    QTest::newRow("up, corrections") << QList<int>{15} << COUNT_UP << "S -1 ? +10 +1 ? +10 ?"
                                     << QStringList{"P1/00:00 red", "P1/00:11 red", "P1/00:15 red prev next"}
                                     << "p1t00:00 p1t00:10 p1t00:11 p1t00:15";
    // At the first and last periods Previous and Next do nothing, though Reset has enabled both.
    QTest::newRow("next and previous") << QList<int>{60, 120} << COUNT_DOWN << "Y -1 P ? N ? Y -1 N ? P ?"
        << QStringList{"P1/00:59 red prev next", "P2/02:00 red prev", "P2/01:59 red prev next", "P1/01:00 red next"}
        << "p1t01:00 p1t00:59 p2t02:00 p2t02:00 p2t01:59 p1t01:00";
    // The pop-up alone does not stop the clock.
    QTest::newRow("Reset: No/Cancel, then Yes") << QList<int>{600, 300} << COUNT_DOWN << "S t t n ? Y ?"
                                                << QStringList{"P1/09:58 black timer", "P1/10:00 red prev next"}
                                                << "p1t09:59 p1t09:58 p1t10:00";
    const QString m = QStringLiteral("Minutes for the P2|");
    const QString ms = m + QStringLiteral("Seconds for the P2");
    const QString at = QStringLiteral("|Location: KorvoTimer.frmMAIN.cmdNEXTPERIOD_Click");
    QTest::newRow("Ask me: 5 and 0; kept by Reset; asked again")
        << QList<int>{600, -1} << COUNT_DOWN << "Y =5 =0 N ? -1 Y ? =1 =0 P N ?"
        << QStringList{"P2/05:00 red prev " + ms, "P2/05:00 red prev next", "P2/01:00 red prev " + ms}
        << "p1t10:00 p2t05:00 p2t04:59 p2t05:00 p1t10:00 p2t01:00";
    QTest::newRow("Previous back into an Ask me period keeps its answers")
        << QList<int>{600, -1, 300} << COUNT_DOWN << "Y =5 =0 N ? Y N P ?"
        << QStringList{"P2/05:00 red prev next " + ms, "P2/05:00 red prev next"}
        << "p1t10:00 p2t05:00 p2t05:00 p3t05:00 p2t05:00";
    QTest::newRow("Pause while paused sends pause again") << QList<int>{600} << COUNT_DOWN << "|| ? ||"
                                                          << QStringList{"P1/10:00 red"} << "pause pause";
    QTest::newRow("Ask me: seconds 75") << QList<int>{600, -1} << COUNT_DOWN << "Y =0 =75 N ?"
                                        << QStringList{"P2/01:15 red prev " + ms} << "p1t10:00 p2t01:15";
    QTest::newRow("Ask me: 99 and 99") << QList<int>{600, -1} << COUNT_DOWN << "Y =99 =99 N ?"
                                       << QStringList{"P2/100:39 red prev " + ms} << "p1t10:00 p2t100:39";
    QTest::newRow("Ask me: Cancel, Retry") << QList<int>{600, -1} << COUNT_DOWN << "Y r = =5 =0 N ?"
                                           << QStringList{"P2/05:00 red prev " + m + ms + " Error 13" + at}
                                           << "p1t10:00 p2t05:00";
    QTest::newRow("Ask me: 100 minutes") << QList<int>{600, -1} << COUNT_DOWN << "Y r =100 =1 =0 N ?"
                                         << QStringList{"P2/01:00 red prev " + m + ms + " Error 6" + at} << "p1t10:00 p2t01:00";
    QTest::newRow("Ask me: seconds -1") << QList<int>{600, -1} << COUNT_DOWN << "Y r =1 =-1 =30 N ?"
        << QStringList{"P2/01:30 red prev " + ms + "|Seconds for the P2 Error 6" + at} << "p1t10:00 p2t01:30";
}

void TestFrmMain::operate()
{
    QFETCH(QList<int>, lengths);
    QFETCH(int, mode);
    QFETCH(QString, script);
    QFETCH(QStringList, states);
    QFETCH(QString, datagrams);
    Clock c;
    c.load(lengths, mode);
    c.socket.payloads();
    korvo::test::play(c, script);
    QCOMPARE(c.seen, states);
    QCOMPARE(c.socket.payloads(), datagrams.toLatin1());
    QVERIFY(c.trap.reporter.texts.isEmpty() && c.dialogs.prompts.isEmpty()); // nothing after the last look
}

void TestFrmMain::sReachesWindowWhicheverButtonHasFocus()
{
    Clock c;
    c.load({1200}, COUNT_DOWN);
    QApplication::setActiveWindow(c.frm.get());
    QVERIFY(QTest::qWaitForWindowActive(c.frm.get()));
    // Whatever the shift, control and alt keys.
    const std::pair<QWidget*, Qt::KeyboardModifiers> presses[] = {{c.ui.cmdSTART, Qt::NoModifier},
        {c.ui.cmdPAUSE, Qt::ShiftModifier}, {c.ui.cmd10DW, Qt::ControlModifier}, {c.ui.cmdRESET, Qt::AltModifier}};
    for (const auto& [w, modifiers] : presses) {
        w->setFocus();
        QTRY_COMPARE(QApplication::focusWidget(), w);
        const bool wasRunning = c.model.CLOCK_RUNNING != 0;
        QTest::keyClick(c.frm->windowHandle(), Qt::Key_S, modifiers);
        // Toggled exactly once.
        QCOMPARE(c.model.CLOCK_RUNNING != 0, !wasRunning);
        QCOMPARE(c.timer.enabled, !wasRunning);
    }
    QTest::keyClick(c.frm->windowHandle(), Qt::Key_P); // no other key toggles
    QVERIFY(!c.timer.enabled);
}

void TestFrmMain::digitsAndSymbolsAreDrawn()
{
    Clock c;
    // A legend is shown as typed, in the caption ("[*]" is Qt's mark of a modified window) and in the label.
    c.loadSet({{"<b>OT</b> [*]", korvo::model::kFalse, 1, 0}}, COUNT_DOWN, QStringLiteral("192.168.1.255"));
    QCOMPARE(c.frm->windowHandle()->title(), QStringLiteral("<b>OT</b> [*]/01:00"));
    const int typed = inkOf(render(c.ui.lblPERIOD, 1), Qt::blue).second.width();
    c.ui.lblPERIOD->setText(QStringLiteral("OT"));
    QVERIFY2(typed > 3 * inkOf(render(c.ui.lblPERIOD, 1), Qt::blue).second.width(), "markup taken for bold type");
    // The end and pause markers lie over the clock.
    for (QLabel* marker : {c.ui.lblEND, c.ui.lblPAUSE}) {
        marker->show();
        QCOMPARE(c.frm->childAt(marker->geometry().center()), marker);
        marker->hide();
    }
    // At the end of a period "E N D" hides the black digits under it: yellow letters on the window's colour.
    korvo::test::play(c, QStringLiteral("S 60*t"));
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
    // button's text (grey when disabled); buttons of a size all look different.
    std::vector<std::pair<SymbolButton*, QImage>> faces;
    for (SymbolButton* b : c.frm->findChildren<SymbolButton*>()) {
        QVERIFY(SymbolButton::hasSymbol(b->text().front()));
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
        b->setEnabled(true);
        const QImage picture = render(b, 1);
        for (const auto& [other, seen] : faces) {
            int differing = 0;
            for (int y = 0; y < seen.height() && seen.size() == picture.size(); ++y)
                for (int x = 0; x < seen.width(); ++x)
                    differing += seen.pixel(x, y) != picture.pixel(x, y) ? 1 : 0;
            QVERIFY2(differing > 40 || seen.size() != picture.size(),
                     qPrintable(b->objectName() + QLatin1Char('/') + other->objectName()));
        }
        faces.emplace_back(b, picture);
    }
}

QTEST_MAIN(TestFrmMain)
#include "tst_frmmain.moc"
