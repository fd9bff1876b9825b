#include "errors/RuntimeError.h"
#include "fakes/FakeErrors.h"
#include "layout/LineControl.h"
#include "layout/QtForm.h"
#include "layout/class_Elastic.h"

#include <QCheckBox>
#include <QDialog>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QSpinBox>
#include <QTest>
#include <QTextEdit>

#include <cmath>
#include <limits>

using korvo::errors::RuntimeError;
using korvo::layout::class_Elastic;
using korvo::layout::LineControl;
using korvo::layout::QtForm;

namespace {

/// The number of the error the call raises, 0 when it succeeds.
template <class Call>
int errorOf(Call&& call)
{
    try {
        call();
    } catch (const RuntimeError& e) {
        return e.number();
    }
    return 0;
}

QFont pointFont(double points)
{
    QFont f;
    f.setPointSizeF(points);
    return f;
}

bool isDark(const QImage& image, QPoint p)
{
    return qGray(image.pixel(p)) < 64;
}

} // namespace

class TestQtForm final : public QObject
{
    Q_OBJECT

private slots:
    void controlsKeepTheirPositions()
    {
        QWidget w;
        auto* a = new QLabel("a", &w);
        auto* frame = new QGroupBox("frame", &w);
        auto* inFrame1 = new QCheckBox("c", frame);
        auto* inFrame2 = new QLabel("d", frame);
        auto* spin = new QSpinBox(&w); // its editor is its own, not a control of the window
        auto* line = new LineControl(QLine(0, 0, 10, 10), &w);
        new QDialog(&w); // a window of its own
        auto* b = new QPushButton("b", &w);
        QtForm form(w);

        const QList<QWidget*> expected{a, frame, inFrame1, inFrame2, spin, line, b};
        QCOMPARE(form.controls(), expected);
        QCOMPARE(form.controlsCount(), 7);
        QVERIFY(form.isLine(5));
        QVERIFY(!form.isLine(0));
        QCOMPARE(errorOf([&] { (void)form.isLine(7); }), korvo::errors::err::SubscriptOutOfRange);

        a->raise();
        inFrame1->raise();
        QCOMPARE(form.controls(), expected);

        auto* later = new QLabel("later", frame);
        QCOMPARE(form.controls(), expected + QList<QWidget*>{later});
        delete inFrame2;
        QCOMPARE(form.controls(), (QList<QWidget*>{a, frame, inFrame1, spin, line, b, later}));
    }

    void geometryInTwipsRelativeToContainer()
    {
        QWidget w;
        auto* frame = new QGroupBox(&w);
        frame->setGeometry(50, 60, 300, 200);
        auto* label = new QLabel("x", frame);
        label->setGeometry(10, 20, 100, 30);
        label->setFont(pointFont(9));
        QtForm form(w);

        QCOMPARE(form.controlProperty(1, u"TOP"), 300.0);
        QCOMPARE(form.controlProperty(1, u"left"), 150.0);
        QCOMPARE(form.controlProperty(1, u"HeIgHt"), 450.0);
        QCOMPARE(form.controlProperty(1, u"Width"), 1500.0);
        QCOMPARE(form.controlProperty(1, u"FontSize"), 9.0);
        QCOMPARE(form.controlProperty(0, u"Top"), 900.0);

        form.setControlProperty(1, u"Top", 1500);
        form.setControlProperty(1, u"Left", 307); // to the nearest pixel
        form.setControlProperty(1, u"Width", 3000);
        form.setControlProperty(1, u"Height", 0);
        form.setControlProperty(1, u"fontsize", 16);
        QCOMPARE(label->geometry(), QRect(20, 100, 200, 0));
        QCOMPARE(label->font().pointSizeF(), 16.0);

        label->setFont([] {
            QFont f;
            f.setPixelSize(20);
            return f;
        }());
        QVERIFY(form.controlProperty(1, u"FontSize") > 0); // a font given in pixels still has a size in points
    }

    void refusedAndMissingProperties_data()
    {
        QTest::addColumn<bool>("onLine");
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("write");
        QTest::addColumn<double>("value");
        QTest::addColumn<int>("error");
        const double nan = std::numeric_limits<double>::quiet_NaN();
        QTest::newRow("label X1") << false << "X1" << false << 0.0 << 438;
        QTest::newRow("label Caption") << false << "Caption" << false << 0.0 << 438;
        QTest::newRow("label RightMargin") << false << "RightMargin" << false << 0.0 << 438;
        QTest::newRow("label write RightMargin") << false << "RightMargin" << true << 0.0 << 438;
        QTest::newRow("line Top") << true << "Top" << false << 0.0 << 438;
        QTest::newRow("line FontSize") << true << "FontSize" << false << 0.0 << 438;
        QTest::newRow("line write Left") << true << "Left" << true << 15.0 << 438;
        QTest::newRow("line write X1 NaN") << true << "X1" << true << nan << 380;
        QTest::newRow("Height -15") << false << "Height" << true << -15.0 << 380;
        QTest::newRow("Width -1") << false << "Width" << true << -1.0 << 380;
        QTest::newRow("FontSize 0") << false << "FontSize" << true << 0.0 << 380;
        QTest::newRow("FontSize -2") << false << "FontSize" << true << -2.0 << 380;
        QTest::newRow("FontSize 1e6") << false << "FontSize" << true << 1e6 << 380;
        QTest::newRow("Top 1e12") << false << "Top" << true << 1e12 << 380;
        QTest::newRow("Left NaN") << false << "Left" << true << nan << 380;
    }
    void refusedAndMissingProperties()
    {
        QFETCH(bool, onLine);
        QFETCH(QString, name);
        QFETCH(bool, write);
        QFETCH(double, value);
        QFETCH(int, error);

        QWidget w;
        auto* label = new QLabel("x", &w);
        label->setGeometry(10, 10, 50, 20);
        new LineControl(QLine(1, 2, 3, 4), &w);
        QtForm form(w);
        const int index = onLine ? 1 : 0;
        const QRect before = label->geometry();
        const double fontBefore = label->font().pointSizeF();
        QCOMPARE(errorOf([&] {
                     if (write)
                         form.setControlProperty(index, name, value);
                     else
                         (void)form.controlProperty(index, name);
                 }),
                 error);
        QCOMPARE(label->geometry(), before);
        QCOMPARE(label->font().pointSizeF(), fontBefore);
        QCOMPARE(qobject_cast<LineControl*>(form.controls().at(1))->line(), QLine(1, 2, 3, 4));
    }

    void lineControlByEndPoints()
    {
        QWidget w;
        w.resize(200, 200);
        auto* line = new LineControl(QLine(10, 20, 110, 5), &w);
        QtForm form(w);

        QCOMPARE(form.controlProperty(0, u"X1"), 150.0);
        QCOMPARE(form.controlProperty(0, u"y1"), 300.0);
        QCOMPARE(form.controlProperty(0, u"x2"), 1650.0);
        QCOMPARE(form.controlProperty(0, u"Y2"), 75.0);

        form.setControlProperty(0, u"Y1", 1500);
        form.setControlProperty(0, u"x1", 150);
        form.setControlProperty(0, u"Y2", 1500);
        QCOMPARE(line->line(), QLine(10, 100, 110, 100));
        QVERIFY(line->geometry().contains(QPoint(10, 100)));
        QVERIFY(line->geometry().contains(QPoint(110, 100)));

        const QImage image = w.grab().toImage();
        QVERIFY(isDark(image, QPoint(60, 100)));
        QVERIFY(!isDark(image, QPoint(60, 110)));
        QVERIFY(!isDark(image, QPoint(60, 20))); // nothing left where it was
    }

    void rightMarginOfTextEdit()
    {
        QWidget w;
        auto* text = new QTextEdit(&w);
        QtForm form(w);
        QCOMPARE(form.controls(), QList<QWidget*>{text}); // no viewport or scroll bars
        QCOMPARE(form.controlProperty(0, u"RightMargin"), 0.0);
        form.setControlProperty(0, u"RightMargin", 3000);
        QCOMPARE(text->lineWrapMode(), QTextEdit::FixedPixelWidth);
        QCOMPARE(text->lineWrapColumnOrWidth(), 200);
        QCOMPARE(form.controlProperty(0, u"rightmargin"), 3000.0);
        QCOMPARE(errorOf([&] { form.setControlProperty(0, u"RightMargin", -15); }), 380);
        form.setControlProperty(0, u"RightMargin", 0);
        QCOMPARE(text->lineWrapMode(), QTextEdit::WidgetWidth);
    }

    void outerSizeAndState()
    {
        QWidget w;
        w.resize(500, 370);
        QtForm form(w);
        // Before it is shown the window has no frame.
        QCOMPARE(form.height(), 370 * 15.0F);
        form.setHeight(6000);
        QCOMPARE(w.height(), 400);

        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        const QSize frame = w.frameGeometry().size() - w.size();
        QCOMPARE(form.height(), static_cast<float>(w.frameGeometry().height() * 15));
        QCOMPARE(form.width(), static_cast<float>(w.frameGeometry().width() * 15));
        form.setHeight(6000);
        form.setWidth(9007); // to the nearest pixel
        QCOMPARE(w.frameGeometry().size(), QSize(600, 400));
        QCOMPARE(w.size(), QSize(600, 400) - frame);
        QCOMPARE(form.windowState(), 0);

        QCOMPARE(form.screenHeight(), w.screen()->geometry().height() * 15.0);
        QCOMPARE(form.screenWidth(), w.screen()->geometry().width() * 15.0);

        w.setWindowState(Qt::WindowMaximized);
        QCOMPARE(form.windowState(), 2);
        const QSize maximised = w.size();
        QCOMPARE(errorOf([&] { form.setHeight(3000); }), 384);
        QCOMPARE(w.size(), maximised);
        w.setWindowState(Qt::WindowMinimized);
        QCOMPARE(form.windowState(), 1);
    }

    void autoRedrawKeepsStaticContents()
    {
        QWidget w;
        QtForm form(w);
        QVERIFY(!form.autoRedraw());
        form.setAutoRedraw(true);
        QVERIFY(w.testAttribute(Qt::WA_StaticContents));
        QVERIFY(form.autoRedraw());
        form.setAutoRedraw(false);
        QVERIFY(!w.testAttribute(Qt::WA_StaticContents));
    }

    void resizeNotificationIsForwarded()
    {
        QWidget w;
        w.resize(300, 200);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QtForm form(w);
        QList<QSize> seen;
        form.setResizeHandler([&] { seen << w.size(); });
        form.setWidth(static_cast<float>((w.frameGeometry().width() + 100) * 15));
        // A visible window hears of its new size before the write returns.
        QCOMPARE(seen, QList<QSize>{QSize(400, 200)});
        QCoreApplication::processEvents();
        QCOMPARE(seen.size(), 1);
    }

    /// A window as an application would attach it.
    void elasticWindow()
    {
        QWidget window;
        window.setObjectName("frmDEMO");
        window.resize(480, 360);
        auto* lblTITLE = new QLabel("Title", &window);
        lblTITLE->setGeometry(30, 20, 120, 20);
        lblTITLE->setFont(pointFont(8));
        auto* cmdGO = new QPushButton("Go", &window);
        cmdGO->setGeometry(30, 300, 90, 30);
        cmdGO->setFont(pointFont(10));
        auto* fraOPTIONS = new QGroupBox("Options", &window);
        fraOPTIONS->setGeometry(200, 60, 200, 150);
        fraOPTIONS->setFont(pointFont(9));
        auto* chkFAST = new QCheckBox("Fast", fraOPTIONS);
        chkFAST->setGeometry(10, 20, 100, 20);
        chkFAST->setFont(pointFont(9));
        auto* lblNOTE = new QLabel("Note", fraOPTIONS);
        lblNOTE->setGeometry(10, 50, 100, 20);
        lblNOTE->setFont(pointFont(11));
        auto* linSPLIT = new LineControl(QLine(10, 280, 470, 280), &window);
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
        QVERIFY(t.reporter.texts.isEmpty());
        QCOMPARE(elastic.CapturedHeight(), outer.height() * 15);
        QCOMPARE(elastic.CapturedWidth(), outer.width() * 15);
        QCOMPARE(elastic.LastIndex(), 5);
        QCOMPARE(elastic.FontSizes(), (std::vector<std::int16_t>{8, 10, 9, 9, 11, 0}));
        // Fitted to the screen, in proportion to the reference screen.
        const QRect screen = window.screen()->geometry();
        QCOMPARE(window.frameGeometry().height(),
                 qRound(outer.height() * 15.0 * screen.height() * 15 / 7290 / 15));
        QVERIFY(!window.testAttribute(Qt::WA_StaticContents));

        // The first notification after Init leaves everything where it is.
        const QRect titleAfterInit = lblTITLE->geometry();
        resizeOuter(outer * 3 / 2);
        QCOMPARE(lblTITLE->geometry(), titleAfterInit);

        // Twice the recorded size: everything doubles, fonts too.
        resizeOuter(outer * 2);
        QCOMPARE(lblTITLE->geometry(), QRect(60, 40, 240, 40));
        QCOMPARE(cmdGO->geometry(), QRect(60, 600, 180, 60));
        QCOMPARE(fraOPTIONS->geometry(), QRect(400, 120, 400, 300));
        QCOMPARE(chkFAST->geometry(), QRect(20, 40, 200, 40));
        QCOMPARE(lblNOTE->geometry(), QRect(20, 100, 200, 40));
        QCOMPARE(linSPLIT->line(), QLine(20, 560, 940, 560));
        QCOMPARE(lblTITLE->font().pointSizeF(), 16.0);
        QCOMPARE(cmdGO->font().pointSizeF(), 20.0);
        QCOMPARE(chkFAST->font().pointSizeF(), 18.0);
        QCOMPARE(lblNOTE->font().pointSizeF(), 22.0);

        // Back to the recorded size: exactly the original layout, nothing accumulated.
        resizeOuter(outer);
        QCOMPARE(lblTITLE->geometry(), QRect(30, 20, 120, 20));
        QCOMPARE(chkFAST->geometry(), QRect(10, 20, 100, 20));
        QCOMPARE(linSPLIT->line(), QLine(10, 280, 470, 280));
        QCOMPARE(lblNOTE->font().pointSizeF(), 12.0); // 11 is odd: the next even size

        // Dragged below half: the window is held at half its recorded size.
        resizeOuter(QSize(100, 100));
        QCOMPARE(window.frameGeometry().size(), outer / 2);
        QCOMPARE(lblTITLE->geometry(), QRect(15, 10, 60, 10));
        QVERIFY(!window.testAttribute(Qt::WA_StaticContents));
        QVERIFY(t.reporter.texts.isEmpty());
    }
};

QTEST_MAIN(TestQtForm)
#include "tst_QtForm.moc"
