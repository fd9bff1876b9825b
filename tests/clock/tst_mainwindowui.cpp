// The main window as it stands before any procedure runs, and whether what it draws can be seen:
// clock digits and button symbols must come out as ink, on any screen scale, with no symbol font.

#include "ui/MainWindowUi.h"
#include "ui/SymbolButton.h"
#include "ui/Twips.h"

#include <QAction>
#include <QDir>
#include <QFontDatabase>
#include <QFontInfo>
#include <QImage>
#include <QLabel>
#include <QMenu>
#include <QPainter>
#include <QTest>

#include <algorithm>

using korvo::ui::MainWindowUi;
using korvo::ui::SymbolButton;
using korvo::ui::twipsRect;

namespace {

/// Pixels of the image close to the colour, and the box around them.
struct Ink
{
    int count = 0;
    QRect box;
};

Ink inkOf(const QImage& image, const QColor& colour, int tolerance = 60)
{
    Ink ink;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QColor p = image.pixelColor(x, y);
            if (std::abs(p.red() - colour.red()) + std::abs(p.green() - colour.green())
                    + std::abs(p.blue() - colour.blue())
                < tolerance) {
                ++ink.count;
                ink.box = ink.box.united(QRect(x, y, 1, 1));
            }
        }
    return ink;
}

/// The widget drawn at a device pixel ratio, as on a screen of that scale.
QImage render(QWidget* widget, qreal scale)
{
    QImage image(widget->size() * scale, QImage::Format_ARGB32);
    image.setDevicePixelRatio(scale);
    image.fill(widget->palette().color(QPalette::Window));
    widget->render(&image);
    return image;
}

QColor buttonInk(const QWidget* w)
{
    return w->palette().color(w->isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::ButtonText);
}

} // namespace

class TestMainWindowUi : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void window();
    void controls_data();
    void controls();
    void markersLieOverTheClock();
    void tabOrder();
    void resetMenu();
    void clockDigitsAreHeavyAndScale();
    void symbolsAreDrawn_data();
    void symbolsAreDrawn();
    void symbolsDiffer();

private:
    QWidget* m_window = nullptr;
    MainWindowUi m_ui;
};

void TestMainWindowUi::init()
{
    m_window = new QWidget;
    m_ui.setupUi(m_window);
}

void TestMainWindowUi::cleanup()
{
    if (QTest::currentTestFailed() || QString::fromUtf8(QTest::currentTestFunction()) == QLatin1String("window")) {
        // Kept next to the test as a picture of the window as it was built.
        m_window->show();
        m_window->grab().save(QDir::current().filePath(QStringLiteral("frmMAIN-offscreen.png")));
    }
    delete m_window;
    m_window = nullptr;
}

void TestMainWindowUi::window()
{
    QCOMPARE(m_window->objectName(), QStringLiteral("frmMAIN"));
    QCOMPARE(m_window->windowTitle(), QStringLiteral("Korvo Timer"));
    QCOMPARE(m_window->geometry(), twipsRect(3525, 2805, 3240, 2295)); // the client area, not the frame
    for (QWidget* child : m_window->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        if (qobject_cast<QMenu*>(child) == nullptr)
            QVERIFY2(m_window->rect().contains(child->geometry()), qPrintable(child->objectName()));
    }
}

void TestMainWindowUi::controls_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QRect>("place");
    QTest::addColumn<QString>("toolTip");
    QTest::addColumn<bool>("shown");
    QTest::addColumn<bool>("enabled");
    auto row = [](const char* name, const char* caption, QRect place, const char* tip, bool shown, bool enabled) {
        QTest::newRow(name) << name << caption << place << tip << shown << enabled;
    };
    row("lblTIME", "99:99", twipsRect(570, 270, 2085, 735), "", true, true);
    row("lblPERIOD", "1st Quarter", twipsRect(0, 0, 3195, 255), "", true, true);
    row("lblEND", "E N D", twipsRect(630, 330, 1995, 495), "", false, true);
    row("lblPAUSE", "P a u s e d", twipsRect(540, 270, 2145, 615), "", false, true);
    row("cmdSETTING", "@", twipsRect(30, 1680, 825, 555), "Settings", true, true);
    row("cmdRESET", "q", twipsRect(30, 1080, 825, 555), "Reset", true, true);
    row("cmdSTART", "4", twipsRect(1200, 1080, 825, 540), "Start", true, true);
    row("cmdPREVPERIOD", "9", twipsRect(1200, 1680, 825, 540), "Previous", true, false);
    row("cmdPAUSE", ";", twipsRect(2370, 1080, 825, 540), "Pause", true, true);
    row("cmdNEXTPERIOD", ":", twipsRect(2370, 1680, 825, 540), "Next", true, true);
    row("cmd1UP", "4", twipsRect(2670, 270, 525, 375), "", true, true);
    row("cmd1DW", "3", twipsRect(30, 270, 525, 375), "", true, true);
    row("cmd10UP", "8", twipsRect(2670, 660, 525, 375), "", true, true);
    row("cmd10DW", "7", twipsRect(30, 660, 525, 375), "", true, true);
}

void TestMainWindowUi::controls()
{
    QFETCH(QString, name);
    QFETCH(QString, caption);
    QFETCH(QRect, place);
    QFETCH(QString, toolTip);
    QFETCH(bool, shown);
    QFETCH(bool, enabled);
    auto* w = m_window->findChild<QWidget*>(name);
    QVERIFY(w != nullptr);
    QCOMPARE(w->property("text").toString(), caption);
    QCOMPARE(w->geometry(), place);
    QCOMPARE(w->toolTip(), toolTip);
    QCOMPARE(w->isVisibleTo(m_window), shown);
    QCOMPARE(w->isEnabled(), enabled);
}

void TestMainWindowUi::markersLieOverTheClock()
{
    m_window->show();
    for (QLabel* marker : {m_ui.lblEND, m_ui.lblPAUSE}) {
        marker->show();
        QCOMPARE(m_window->childAt(marker->geometry().center()), marker);
        marker->hide();
    }
    QCOMPARE(m_window->childAt(m_ui.lblEND->geometry().center()), m_ui.lblTIME);
}

void TestMainWindowUi::tabOrder()
{
    QStringList order;
    QWidget* w = m_ui.cmdSETTING;
    do {
        if (w->focusPolicy() & Qt::TabFocus)
            order.append(w->objectName());
        w = w->nextInFocusChain();
    } while (w != m_ui.cmdSETTING);
    QCOMPARE(order.join(QLatin1Char(' ')), QStringLiteral("cmdSETTING cmdRESET cmdSTART cmdPREVPERIOD cmdPAUSE "
                                                          "cmdNEXTPERIOD cmd1UP cmd1DW cmd10UP cmd10DW"));
}

void TestMainWindowUi::resetMenu()
{
    QCOMPARE(m_ui.mnRESET->objectName(), QStringLiteral("mnRESET"));
    QVERIFY(!m_ui.mnRESET->isVisible());
    const QList<QAction*> items = m_ui.mnRESET->actions();
    QCOMPARE(items.size(), 2);
    QCOMPARE(items[0]->objectName() + QLatin1Char('=') + items[0]->text(), QStringLiteral("mnRESETYES=Yes Reset time"));
    QCOMPARE(items[1]->objectName() + QLatin1Char('=') + items[1]->text(), QStringLiteral("mnRESETNO=No/Cancel"));
}

void TestMainWindowUi::clockDigitsAreHeavyAndScale()
{
    const QFontInfo face(m_ui.lblTIME->font());
    QVERIFY2(QFontDatabase::families().contains(face.family()), qPrintable(face.family()));
    QVERIFY2(face.weight() >= QFont::Bold, qPrintable(QString::number(face.weight())));
    QCOMPARE(m_ui.lblTIME->font().pointSizeF(), 27.75);

    m_ui.lblTIME->setText(QStringLiteral("10:00"));
    const Ink one = inkOf(render(m_ui.lblTIME, 1), Qt::black);
    const Ink two = inkOf(render(m_ui.lblTIME, 2), Qt::black);
    // Large digits that fit their label, and at twice the scale drawn anew at twice the size (a vector
    // face), not a bitmap blown up.
    QVERIFY2(one.count > 400, qPrintable(QString::number(one.count)));
    QVERIFY(one.box.height() >= 20 && one.box.width() >= 80);
    QVERIFY(m_ui.lblTIME->rect().contains(one.box));
    QVERIFY(std::abs(two.box.width() - 2 * one.box.width()) <= 4);
    QVERIFY(std::abs(two.box.height() - 2 * one.box.height()) <= 4);
    QVERIFY(two.count > 3 * one.count);
}

void TestMainWindowUi::symbolsAreDrawn_data()
{
    QTest::addColumn<QString>("name");
    for (const char* name : {"cmdSETTING", "cmdRESET", "cmdSTART", "cmdPREVPERIOD", "cmdPAUSE", "cmdNEXTPERIOD",
                             "cmd1UP", "cmd1DW", "cmd10UP", "cmd10DW"})
        QTest::newRow(name) << name;
}

void TestMainWindowUi::symbolsAreDrawn()
{
    QFETCH(QString, name);
    auto* button = m_window->findChild<SymbolButton*>(name);
    QVERIFY(button != nullptr);
    QVERIFY(SymbolButton::hasSymbol(button->text().front()));
    for (qreal scale : {1.0, 2.0}) {
        // Inside the bevel, so that a grey frame is not taken for a grey (disabled) symbol.
        const int bevel = static_cast<int>(3 * scale);
        const QImage face = render(button, scale).copy(QRect(QPoint(0, 0), button->size() * scale)
                                                           .adjusted(bevel, bevel, -bevel, -bevel));
        const Ink ink = inkOf(face, buttonInk(button), 40);
        // A symbol in the middle of the face, taking a fair share of it.
        const double share = ink.count / (scale * scale * button->width() * button->height());
        QVERIFY2(share > 0.03 && share < 0.5, qPrintable(QString::number(share)));
        const QPointF middle = QRectF(ink.box.translated(bevel, bevel)).center() / scale;
        QVERIFY(std::abs(middle.x() - button->width() / 2.0) < 3);
        QVERIFY(std::abs(middle.y() - button->height() / 2.0) < 3);
    }
}

void TestMainWindowUi::symbolsDiffer()
{
    // Same-sized buttons with different captions must not look alike.
    QList<SymbolButton*> large = {m_ui.cmdSETTING, m_ui.cmdRESET, m_ui.cmdSTART, m_ui.cmdPAUSE, m_ui.cmdNEXTPERIOD};
    m_ui.cmdPREVPERIOD->setEnabled(true);
    large.append(m_ui.cmdPREVPERIOD);
    QList<QImage> pictures;
    for (SymbolButton* b : large)
        pictures.append(render(b, 1).copy(0, 0, 55, 36));
    for (qsizetype i = 0; i < pictures.size(); ++i)
        for (qsizetype j = i + 1; j < pictures.size(); ++j) {
            int differing = 0;
            for (int y = 0; y < 36; ++y)
                for (int x = 0; x < 55; ++x)
                    differing += pictures[i].pixel(x, y) != pictures[j].pixel(x, y) ? 1 : 0;
            QVERIFY2(differing > 40, qPrintable(large[i]->objectName() + QLatin1Char('/') + large[j]->objectName()));
        }
}

QTEST_MAIN(TestMainWindowUi)
#include "tst_mainwindowui.moc"
