#include "layout/LineControl.h"
#include "layout/QtForm.h"
#include "layout/class_Elastic.h"
#include "support/FakeErrors.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QRegularExpression>
#include <QSet>
#include <QTest>

using namespace korvo::layout;

namespace {

/// A window without controls on a screen of the test's choosing: what a real screen cannot be made to be.
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

} // namespace

class TestClassElastic final : public QObject
{
    Q_OBJECT

private slots:
    // Init fits the window to the screen: in proportion to the reference screen, or all of it when maximised.
    // A size that does not fit 16 bits is reported, once for each.
    void initFits_data()
    {
        QTest::addColumn<QSizeF>("window"); // width × height, twips
        QTest::addColumn<QSizeF>("screen");
        QTest::addColumn<int>("state");
        QTest::addColumn<QSizeF>("fitted");
        QTest::addColumn<int>("reports");
        const QSizeF small(4800, 3600), big(19200, 14400);
        QTest::newRow("in proportion") << small << big << 0 << QSizeF(9510.836, 7111.111) << 0;
        QTest::newRow("maximised") << small << big << 2 << big << 0;
        QTest::newRow("beyond 16 bits")
            << QSizeF(32768, 32767.5) << QSizeF(9690, 7290) << 0 << QSizeF(32768, 32767.5) << 2;
    }
    void initFits()
    {
        QFETCH(QSizeF, window);
        QFETCH(QSizeF, screen);
        QFETCH(int, state);
        QFETCH(QSizeF, fitted);
        QFETCH(int, reports);
        korvo::fakes::FakeTrap t;
        class_Elastic e(t.trap);
        FakeForm f;
        f.w = static_cast<float>(window.width());
        f.h = static_cast<float>(window.height());
        f.screen = screen;
        f.state = state;
        e.Init(f);
        QCOMPARE(QString::number(f.w, 'g', 7) + 'x' + QString::number(f.h, 'g', 7),
                 QString::number(fitted.width(), 'g', 7) + 'x' + QString::number(fitted.height(), 'g', 7));
        const QStringList& texts = t.reporter.texts;
        const QRegularExpression report(R"(^Error 6\r\nOverflow\r\nLocation: KorvoTimer.class_Elastic.Init)"
                                        R"(\r\nLine \d+$)");
        QCOMPARE(texts.filter(report).size(), reports);
        QCOMPARE(QSet<QString>(texts.begin(), texts.end()).size(), reports); // the line tells which size failed
    }

    /// Real widgets follow a resize of their window, from the recorded layout each time.
    void elasticWindow()
    {
        QWidget window;
        window.resize(480, 360);
        auto* lblTITLE = new QLabel("Title", &window);
        lblTITLE->setGeometry(30, 20, 120, 20);
        auto* fraOPTIONS = new QGroupBox("Options", &window);
        fraOPTIONS->setGeometry(200, 60, 200, 150);
        auto* chkFAST = new QCheckBox("Fast", fraOPTIONS);
        chkFAST->setGeometry(10, 20, 100, 20);
        chkFAST->setFont(QFont(chkFAST->font().family(), 9));
        auto* linSPLIT = new LineControl(QLine(10, 280, 470, 280), &window);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        const QSize outer = window.frameGeometry().size();
        const QSize frame = outer - window.size();
        korvo::fakes::FakeTrap t;
        class_Elastic elastic(t.trap);
        QtForm form(window);
        form.setResizeHandler([&] { elastic.FormResize(form); });
        elastic.Init(form);
        window.resize(outer * 3 / 2 - frame); // the first notice after Init changes nothing
        // 1.5 times as wide, twice as high: type follows the width (9 x 1.5, floored, then even); a control in
        // a frame keeps to its frame.
        window.resize(QSize(outer.width() * 3 / 2, outer.height() * 2) - frame);
        QCOMPARE(lblTITLE->geometry(), QRect(45, 40, 180, 40));
        QCOMPARE(chkFAST->geometry(), QRect(15, 40, 150, 40));
        QCOMPARE(chkFAST->font().pointSizeF(), 14.0);
        QCOMPARE(linSPLIT->line(), QLine(15, 560, 705, 560));
        window.resize(outer - frame); // back: nothing accumulated
        QCOMPARE(lblTITLE->geometry(), QRect(30, 20, 120, 20));
        QVERIFY(t.reporter.texts.isEmpty());
    }
};

QTEST_MAIN(TestClassElastic)
#include "tst_class_Elastic.moc"
