#include "SettingsHarness.h"

#include <QDir>
#include <QGroupBox>
#include <QImage>
#include <QLabel>
#include <QPixmap>
#include <QRadioButton>
#include <QTimer>

#include "ui/Twips.h"

using namespace korvo;
using korvo::tests::SettingsHarness;

namespace {

struct Place
{
    const char* name;
    const char* container;
    int left;
    int top;
    int width;
    int height;
};

// The window's controls in tab order, as the window definition places them (twips).
constexpr Place kPlaces[] = {
    {"Frame1", "frmSet", 0, 0, 3075, 1125},
    {"optPASS", "Frame1", 180, 330, 2085, 255},
    {"lblPASS", "Frame1", 2160, 360, 885, 225},
    {"optLEFT", "Frame1", 180, 660, 2085, 255},
    {"lblLEFT", "Frame1", 2160, 690, 885, 225},
    {"Frame2", "frmSet", 0, 1140, 7335, 3015},
    {"Label1", "Frame2", 120, 330, 1785, 225},
    {"Label2", "Frame2", 120, 570, 1785, 225},
    {"txtPERIODLEGEND", "Frame2", 1950, 270, 1515, 285},
    {"Label3", "Frame2", 120, 930, 1785, 225},
    {"txtPERIODTIME", "Frame2", 1950, 900, 615, 285},
    {"vsTIMESEC", "Frame2", 3090, 900, 375, 315},
    {"vsTIMEMIN", "Frame2", 2670, 900, 375, 315},
    {"chkASKME", "Frame2", 1980, 1230, 1575, 405},
    {"grdPERIOD", "Frame2", 3690, 270, 3045, 2625},
    {"cmdADD", "Frame2", 330, 1860, 1395, 375},
    {"cmdREMOVE", "Frame2", 1860, 1860, 1395, 375},
    {"cmdUP", "Frame2", 6810, 1110, 435, 435},
    {"cmdDOWN", "Frame2", 6810, 1680, 435, 435},
    {"cmdSAVE", "Frame2", 330, 2430, 1395, 375},
    {"cmdLOAD", "Frame2", 1860, 2430, 1395, 375},
    {"cmdOK", "frmSet", 3840, 4260, 1545, 405},
    {"cmdCANCEL", "frmSet", 5580, 4260, 1545, 405},
    {"Frame3", "frmSet", 3150, 0, 4185, 1125},
    {"Label4", "Frame3", 180, 270, 1305, 225},
    {"txtIP", "Frame3", 1530, 510, 1065, 285},
    {"Label5", "Frame3", 2670, 570, 525, 255},
};

// The only controls the definition lays over one another: each preview clock overlaps the end of its
// option button.
const QStringList kDesignedOverlaps{QStringLiteral("optPASS+lblPASS"), QStringLiteral("optLEFT+lblLEFT")};

QWidget* named(QWidget* window, const char* name)
{
    return window->objectName() == QLatin1String(name) ? window : window->findChild<QWidget*>(QLatin1String(name));
}

/// Pixels of an image close to a colour.
int countNear(const QImage& image, const QColor& colour, const QRect& area, int tolerance = 40)
{
    int count = 0;
    const QRect r = area.intersected(image.rect());
    for (int y = r.top(); y <= r.bottom(); ++y)
        for (int x = r.left(); x <= r.right(); ++x) {
            const QColor c = image.pixelColor(x, y);
            const int distance = std::abs(c.red() - colour.red()) + std::abs(c.green() - colour.green())
                + std::abs(c.blue() - colour.blue());
            if (distance <= tolerance)
                ++count;
        }
    return count;
}

/// Pixels of a deep blue, as the frame captions are drawn (anti-aliasing keeps few at the exact colour).
int countBlue(const QImage& image, const QRect& area)
{
    int count = 0;
    const QRect r = area.intersected(image.rect());
    for (int y = r.top(); y <= r.bottom(); ++y)
        for (int x = r.left(); x <= r.right(); ++x) {
            const QColor c = image.pixelColor(x, y);
            if (c.blue() > 120 && c.red() < 100 && c.green() < 100)
                ++count;
        }
    return count;
}

/// Dark pixels in the upper and in the lower half of a widget's picture.
std::pair<int, int> darkHalves(QWidget* widget)
{
    const QImage image = widget->grab().toImage();
    const int half = image.height() / 2;
    return {countNear(image, Qt::black, QRect(0, 0, image.width(), half), 150),
            countNear(image, Qt::black, QRect(0, half, image.width(), image.height() - half), 150)};
}

} // namespace

class TestFrmSetLayout final : public QObject
{
    Q_OBJECT
private slots:
    void screenshotHasTheClientSize();
    void controlsStandWhereDefined_data();
    void controlsStandWhereDefined();
    void siblingsOverlapOnlyWhereDesigned();
    void tabOrder();
    void initialStates();
    void fontsAndColours();
    void arrowsPointUpAndDown();
    void nothingMovesWhenTheWindowGrows();
};

void TestFrmSetLayout::screenshotHasTheClientSize()
{
    SettingsHarness h;
    h.load();
    h.addPeriod(QStringLiteral("1st Half"), 20, 0);
    h.addAskMe(QStringLiteral("Overtime"));
    const QPixmap shot = h.frm->grab();
    QCOMPARE(shot.size(), QSize(ui::twips(7365), ui::twips(4710)));
    QCOMPARE(shot.size(), QSize(491, 314));
    QVERIFY(QDir().mkpath(QStringLiteral(KORVO_ARTIFACTS_DIR)));
    const QString file = QStringLiteral(KORVO_ARTIFACTS_DIR "/frmSet.png");
    QVERIFY(shot.save(file, "PNG"));
    QCOMPARE(QImage(file).size(), QSize(491, 314));
}

void TestFrmSetLayout::controlsStandWhereDefined_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("container");
    QTest::addColumn<QRect>("geometry");
    for (const Place& p : kPlaces)
        QTest::newRow(p.name) << QString::fromLatin1(p.name) << QString::fromLatin1(p.container)
                              << ui::twipsRect(p.left, p.top, p.width, p.height);
}

void TestFrmSetLayout::controlsStandWhereDefined()
{
    QFETCH(QString, name);
    QFETCH(QString, container);
    QFETCH(QRect, geometry);
    SettingsHarness h;
    QWidget* widget = h.frm->findChild<QWidget*>(name);
    QVERIFY(widget);
    QCOMPARE(widget->parentWidget()->objectName(), container);
    QCOMPARE(widget->geometry(), geometry);
    QVERIFY2(widget->parentWidget()->rect().contains(widget->geometry()), "inside its container");
}

void TestFrmSetLayout::siblingsOverlapOnlyWhereDesigned()
{
    SettingsHarness h;
    h.load();
    QStringList overlaps;
    for (std::size_t i = 0; i < std::size(kPlaces); ++i)
        for (std::size_t j = i + 1; j < std::size(kPlaces); ++j) {
            QWidget* a = named(h.frm.get(), kPlaces[i].name);
            QWidget* b = named(h.frm.get(), kPlaces[j].name);
            if (a->parentWidget() == b->parentWidget() && a->geometry().intersects(b->geometry()))
                overlaps.append(a->objectName() + QLatin1Char('+') + b->objectName());
        }
    QCOMPARE(overlaps, kDesignedOverlaps);
}

void TestFrmSetLayout::tabOrder()
{
    SettingsHarness h;
    h.load();
    QStringList chain;
    QWidget* w = h.ui().optPASS;
    do {
        if (!w->objectName().isEmpty() && w->focusPolicy() & Qt::TabFocus)
            chain.append(w->objectName());
        w = w->nextInFocusChain();
    } while (w != h.ui().optPASS);
    const QStringList expected{"optPASS", "optLEFT", "txtPERIODLEGEND", "txtPERIODTIME", "vsTIMESEC", "vsTIMEMIN",
                               "chkASKME", "grdPERIOD", "cmdADD", "cmdREMOVE", "cmdUP", "cmdDOWN", "cmdSAVE",
                               "cmdLOAD", "cmdOK", "cmdCANCEL", "txtIP"};
    QCOMPARE(chain, expected);
}

void TestFrmSetLayout::initialStates()
{
    SettingsHarness h;
    const ui::SettingsWindowUi& u = h.ui();
    const std::pair<const char*, const char*> captions[] = {
        {"Frame1", "Timer Type"}, {"optPASS", "Clock timer"}, {"lblPASS", "00:00"}, {"optLEFT", "Countdown timer"},
        {"lblLEFT", "01:20"}, {"Frame2", "Periods"}, {"Label1", "Period legend"},
        {"Label2", "ex. Quarter or Half Time"},
        {"Label3", "Period time"}, {"txtPERIODTIME", "00:00"}, {"chkASKME", "I don't know. Ask me for this period."},
        {"cmdADD", "Add Period"}, {"cmdREMOVE", "Remove Period"}, {"cmdUP", "5"}, {"cmdDOWN", "6"},
        {"cmdSAVE", "Save set"}, {"cmdLOAD", "Load set"}, {"cmdOK", "Ok"}, {"cmdCANCEL", "End"}, {"Frame3", "Network"},
        {"Label4", "Broadcast IP"}, {"Label5", ".255"}, {"txtIP", "___.___.___"}};
    for (const auto& [name, caption] : captions) {
        QWidget* w = named(h.frm.get(), name);
        const QVariant text = w->property(qobject_cast<QGroupBox*>(w)         ? "title"
                                          : qobject_cast<QLineEdit*>(w)       ? "displayText"
                                                                              : "text");
        QCOMPARE(text.toString(), QString::fromUtf8(caption));
    }
    QCOMPARE(h.frm->windowTitle(), QStringLiteral("Setting"));
    QVERIFY(u.optPASS->isChecked());
    QVERIFY(!u.optLEFT->isChecked());
    QVERIFY(!u.chkASKME->isChecked());
    QCOMPARE(u.lblPASS->alignment() & Qt::AlignHorizontal_Mask, Qt::AlignHCenter);
    QCOMPARE(u.Label1->alignment() & Qt::AlignHorizontal_Mask, Qt::AlignRight);
    QCOMPARE(u.txtPERIODLEGEND->maxLength(), 15);
    QVERIFY(!u.txtPERIODTIME->isEnabled());
    // Both bars have their minimum at the top and start there.
    for (QScrollBar* bar : {u.vsTIMESEC, u.vsTIMEMIN}) {
        QCOMPARE(bar->orientation(), Qt::Vertical);
        QVERIFY(!bar->invertedAppearance());
        QCOMPARE(bar->value(), 0);
    }
    QCOMPARE(u.vsTIMESEC->maximum(), 60);
    QCOMPARE(u.vsTIMEMIN->maximum(), 99);
    QVERIFY(!u.tmrPASSdemo->isActive());
    QVERIFY(!u.tmrLEFTdemo->isActive());
}

void TestFrmSetLayout::fontsAndColours()
{
    SettingsHarness h;
    h.load();
    QCOMPARE(h.frm->font().pointSizeF(), 8.25);
    QCOMPARE(h.ui().grdPERIOD->font().pointSizeF(), 8.25);
    QCOMPARE(h.ui().cmdUP->font().pointSizeF(), 15.75);

    const QImage shot = h.frm->grab().toImage();
    // Each frame's caption is drawn in its colour, and only the caption: the controls inside keep theirs.
    const QRect frame1Caption(0, 0, ui::twips(3075), 16);
    QVERIFY(countBlue(shot, frame1Caption) > 20);
    const QRect frame3Caption(ui::twips(3150), 0, ui::twips(4185), 16);
    QVERIFY(countBlue(shot, frame3Caption) > 20);
    const QRect optPASS = h.ui().optPASS->geometry().translated(h.ui().Frame1->pos());
    QCOMPARE(countBlue(shot, optPASS), 0);
    const QRect grid = h.ui().grdPERIOD->geometry().translated(h.ui().Frame2->pos());
    QCOMPARE(countBlue(shot, grid), 0);
    // The entry captions are light yellow.
    const QRect label1 = h.ui().Label1->geometry().translated(h.ui().Frame2->pos());
    QVERIFY(countNear(shot, QColor(255, 255, 128), label1, 0) > label1.width() * label1.height() / 2);
}

void TestFrmSetLayout::arrowsPointUpAndDown()
{
    SettingsHarness h;
    h.load();
    // A triangle pointing up is wide at the bottom, one pointing down wide at the top.
    const auto [upTop, upBottom] = darkHalves(h.ui().cmdUP);
    QVERIFY2(upBottom > upTop + 10, qPrintable(QStringLiteral("up: %1 above, %2 below").arg(upTop).arg(upBottom)));
    const auto [downTop, downBottom] = darkHalves(h.ui().cmdDOWN);
    QVERIFY2(downTop > downBottom + 10,
             qPrintable(QStringLiteral("down: %1 above, %2 below").arg(downTop).arg(downBottom)));
}

void TestFrmSetLayout::nothingMovesWhenTheWindowGrows()
{
    SettingsHarness h;
    h.load();
    const QRect grid = h.ui().grdPERIOD->geometry();
    const QRect ok = h.ui().cmdOK->geometry();
    h.frm->resize(h.frm->width() * 2, h.frm->height() * 2);
    QCOMPARE(h.frm->size(), QSize(982, 628));
    QCOMPARE(h.ui().grdPERIOD->geometry(), grid);
    QCOMPARE(h.ui().cmdOK->geometry(), ok);
}

QTEST_MAIN(TestFrmSetLayout)
#include "tst_frmset_layout.moc"
