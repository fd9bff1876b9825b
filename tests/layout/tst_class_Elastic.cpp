#include "layout/LineControl.h"
#include "layout/QtForm.h"
#include "layout/class_Elastic.h"
#include "support/FakeErrors.h"

#include <QCheckBox>
#include <QDialog>
#include <QGroupBox>
#include <QLabel>
#include <QRegularExpression>
#include <QSet>
#include <QSpinBox>
#include <QTest>
#include <QTextEdit>

using namespace korvo::layout;

namespace {

/// A window without controls on a screen of the test's choosing: what a real screen cannot be made to be.
/// How the controls follow a resize is seen on real widgets in elasticWindow below.
struct FakeForm final : Form
{
    float w = 0, h = 0;
    QSizeF screen;
    int state = 0;
    bool redraw = false;
    float height() const override { return h; }
    float width() const override { return w; }
    void setHeight(float twips) override { h = twips; }
    void setWidth(float twips) override { w = twips; }
    int windowState() const override { return state; }
    bool autoRedraw() const override { return redraw; }
    void setAutoRedraw(bool on) override { redraw = on; }
    std::int32_t controlsCount() const override { return 0; }
    bool isLine(std::int32_t) const override { return false; }
    double controlProperty(std::int32_t, QStringView) const override { return 0; }
    void setControlProperty(std::int32_t, QStringView, double) override {}
    double screenHeight() const override { return screen.height(); }
    double screenWidth() const override { return screen.width(); }
};

template <class Widget>
Widget* place(Widget* widget, QRect geometry, int points)
{
    widget->setFont(QFont(widget->font().family(), points));
    widget->setGeometry(geometry);
    return widget;
}

} // namespace

class TestClassElastic final : public QObject
{
    Q_OBJECT

private slots:
    // Init fits the window to the screen: in proportion to the reference screen, or all of it when maximised
    // or asked for. A size that does not fit 16 bits is reported, once for each.
    void initFits_data()
    {
        QTest::addColumn<QSizeF>("window"); // width × height, twips
        QTest::addColumn<QSizeF>("screen");
        QTest::addColumn<int>("state");
        QTest::addColumn<bool>("fullScreen"); // given, as false
        QTest::addColumn<QSizeF>("fitted");
        QTest::addColumn<int>("reports");
        const QSizeF small(4800, 3600), big(19200, 14400);
        QTest::newRow("in proportion") << small << big << 0 << false << QSizeF(9510.836, 7111.111) << 0;
        QTest::newRow("maximised") << small << big << 2 << false << big << 0;
        QTest::newRow("FullScreen false") << small << big << 0 << true << big << 0;
        QTest::newRow("beyond 16 bits") << QSizeF(32768, 32767.5) << QSizeF(9690, 7290) << 0 << false
                                        << QSizeF(32768, 32767.5) << 2;
    }
    void initFits()
    {
        QFETCH(QSizeF, window);
        QFETCH(QSizeF, screen);
        QFETCH(int, state);
        QFETCH(bool, fullScreen);
        QFETCH(QSizeF, fitted);
        QFETCH(int, reports);
        korvo::fakes::FakeTrap t;
        class_Elastic e(t.trap);
        FakeForm f;
        f.w = static_cast<float>(window.width());
        f.h = static_cast<float>(window.height());
        f.screen = screen;
        f.state = state;
        fullScreen ? e.Init(f, QVariant(false)) : e.Init(f);
        QCOMPARE(QString::number(f.w, 'g', 7) + 'x' + QString::number(f.h, 'g', 7),
                 QString::number(fitted.width(), 'g', 7) + 'x' + QString::number(fitted.height(), 'g', 7));
        const QStringList& texts = t.reporter.texts;
        const QRegularExpression report(R"(^Error 6\r\nOverflow\r\nLocation: KorvoTimer.class_Elastic.Init)"
                                        R"(\r\nLine \d+$)");
        QCOMPARE(texts.filter(report).size(), reports);
        QCOMPARE(QSet<QString>(texts.begin(), texts.end()).size(), reports); // the line tells which size failed
    }

    /// A window as an application would attach it.
    void elasticWindow()
    {
        QWidget window;
        window.resize(480, 360);
        auto* lblTITLE = place(new QLabel("Title", &window), QRect(30, 20, 120, 20), 8);
        auto* spnN = place(new QSpinBox(&window), QRect(30, 300, 90, 30), 10); // its editor is not a control
        auto* fraOPTIONS = place(new QGroupBox("Options", &window), QRect(200, 60, 200, 150), 9);
        auto* chkFAST = place(new QCheckBox("Fast", fraOPTIONS), QRect(10, 20, 100, 20), 9);
        auto* lblNOTE = place(new QLabel("Note", fraOPTIONS), QRect(10, 50, 100, 20), 11);
        auto* linSPLIT = new LineControl(QLine(10, 280, 470, 280), &window);
        auto* txtNOTES = place(new QTextEdit(&window), QRect(30, 200, 150, 60), 9); // wrapped at a fixed width
        txtNOTES->setLineWrapMode(QTextEdit::FixedPixelWidth);
        txtNOTES->setLineWrapColumnOrWidth(100);
        new QDialog(&window); // a window of its own, not a control
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        const QSize outer = window.frameGeometry().size();
        const QSize frame = outer - window.size();
        const auto resizeOuter = [&](QSize s) { window.resize(s - frame); };

        korvo::fakes::FakeTrap t;
        class_Elastic elastic(t.trap);
        QtForm form(window);
        form.setResizeHandler([&] { elastic.FormResize(form); });
        elastic.Init(form);
        QCOMPARE(elastic.FontSizes(), (std::vector<std::int16_t>{8, 10, 9, 9, 11, 0, 9}));
        const QRect titleAfterInit = lblTITLE->geometry();
        resizeOuter(outer * 3 / 2);
        QCOMPARE(lblTITLE->geometry(), titleAfterInit); // the first notification after Init leaves it alone

        // Raising a control keeps its position in the collection; one added later is left alone.
        lblTITLE->raise();
        auto* later = place(new QLabel("later", fraOPTIONS), QRect(5, 5, 10, 10), 9);
        // 1.5 times as wide, twice as high. Type follows the width only (9 × 1.5 floored, then even); the
        // wrap margin follows the height only.
        resizeOuter(QSize(outer.width() * 3 / 2, outer.height() * 2));
        QCOMPARE(lblTITLE->geometry(), QRect(45, 40, 180, 40));
        QCOMPARE(spnN->geometry(), QRect(45, 600, 135, 60));
        QCOMPARE(chkFAST->geometry(), QRect(15, 40, 150, 40)); // inside its frame
        QCOMPARE(later->geometry(), QRect(5, 5, 10, 10));
        QCOMPARE(linSPLIT->line(), QLine(15, 560, 705, 560));
        QCOMPARE(chkFAST->font().pointSizeF(), 14.0);
        QCOMPARE(txtNOTES->lineWrapColumnOrWidth(), 200);
        const QImage image = window.grab().toImage();
        const auto dark = [&](int x, int y) { return qGray(image.pixel(x, y)) < 64; };
        QVERIFY(dark(300, 560) && !dark(300, 570) && !dark(300, 280)); // the line is drawn where it now is

        resizeOuter(outer); // exactly the original layout: nothing accumulated
        QCOMPARE(lblTITLE->geometry(), QRect(30, 20, 120, 20));
        QCOMPARE(linSPLIT->line(), QLine(10, 280, 470, 280));
        QCOMPARE(lblNOTE->font().pointSizeF(), 12.0); // 11 is odd: the next even size

        resizeOuter(QSize(100, 100)); // held at half the recorded size
        QCOMPARE(window.frameGeometry().size(), outer / 2);
        QCOMPARE(lblTITLE->geometry(), QRect(15, 10, 60, 10));
        QCOMPARE(txtNOTES->lineWrapColumnOrWidth(), 50);
        QVERIFY(!window.testAttribute(Qt::WA_StaticContents)); // AutoRedraw as it was
        QVERIFY(t.reporter.texts.isEmpty());
        form.setControlProperty(0, u"Left", 293); // between two pixels: the nearer one
        QCOMPARE(lblTITLE->x(), 20);
    }
};

QTEST_MAIN(TestClassElastic)
#include "tst_class_Elastic.moc"
