#include "errors/RuntimeError.h"
#include "layout/LineControl.h"
#include "layout/QtForm.h"
#include "layout/class_Elastic.h"
#include "support/FakeErrors.h"

#include <QCheckBox>
#include <QDialog>
#include <QGroupBox>
#include <QLabel>
#include <QSpinBox>
#include <QTest>
#include <QTextEdit>

using namespace korvo::layout;

namespace {

/// The number of the error the call raises, 0 when it succeeds.
template <class Call>
int errorOf(Call&& call)
{
    try { call(); } catch (const korvo::errors::RuntimeError& e) { return e.number(); }
    return 0;
}

template <class Widget>
Widget* place(Widget* widget, QRect geometry, int points)
{
    widget->setFont(QFont(widget->font().family(), points));
    widget->setGeometry(geometry);
    return widget;
}

} // namespace

class TestQtForm final : public QObject
{
    Q_OBJECT

private slots:
    void propertiesByName_data()
    {
        QTest::addColumn<int>("index"); // 0 a group box, 1 a label in it, 2 a line, 3 a text box
        QTest::addColumn<QString>("name");
        QTest::addColumn<QVariant>("write"); // none: only read
        QTest::addColumn<double>("read");    // what reads back afterwards
        QTest::addColumn<int>("error");
        const QVariant none;
        QTest::newRow("TOP in the frame") << 1 << "TOP" << none << 300.0 << 0;
        QTest::newRow("FontSize") << 1 << "FontSize" << none << 9.0 << 0;
        QTest::newRow("write left, nearest pixel") << 1 << "left" << QVariant(293.0) << 300.0 << 0;
        QTest::newRow("write fontsize") << 1 << "fontsize" << QVariant(16.0) << 16.0 << 0;
        QTest::newRow("line write Y2") << 2 << "Y2" << QVariant(1500.0) << 1500.0 << 0;
        QTest::newRow("text write rightmargin") << 3 << "rightmargin" << QVariant(3000.0) << 3000.0 << 0;
        QTest::newRow("label X1") << 1 << "X1" << none << 0.0 << 438;
        QTest::newRow("line write Left") << 2 << "Left" << QVariant(15.0) << 0.0 << 438;
        QTest::newRow("no fifth control") << 4 << "Top" << none << 0.0 << 9;
        QTest::newRow("line write X1 NaN") << 2 << "X1" << QVariant(qQNaN()) << 0.0 << 380;
        QTest::newRow("Width -15") << 1 << "Width" << QVariant(-15.0) << 0.0 << 380;
        QTest::newRow("FontSize 0") << 1 << "FontSize" << QVariant(0.0) << 0.0 << 380;
    }
    void propertiesByName()
    {
        QFETCH(int, index);
        QFETCH(QString, name);
        QFETCH(QVariant, write);
        QFETCH(double, read);
        QFETCH(int, error);
        QWidget w;
        auto* frame = place(new QGroupBox(&w), QRect(50, 60, 300, 200), 9);
        auto* label = place(new QLabel("x", frame), QRect(10, 20, 100, 30), 9);
        auto* line = new LineControl(QLine(10, 20, 110, 5), &w);
        auto* text = new QTextEdit(&w); // its RightMargin is the wrap width, 0 for wrapping at the edge
        QtForm form(w);
        QCOMPARE(form.controls(), (QList<QWidget*>{frame, label, line, text})); // no viewport or scroll bars
        const auto state = [&] { return QVariantList{label->geometry(), label->font().pointSizeF(), line->line()}; };
        const QVariantList before = state();
        double value = -1;
        QCOMPARE(errorOf([&] {
                     if (write.isValid())
                         form.setControlProperty(index, name, write.toDouble());
                     value = form.controlProperty(index, name);
                 }),
                 error);
        QCOMPARE(value, error != 0 ? -1 : read);
        if (error != 0)
            QCOMPARE(state(), before); // a refused write changes nothing
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
        QCOMPARE(elastic.FontSizes(), (std::vector<std::int16_t>{8, 10, 9, 9, 11, 0}));
        const QRect titleAfterInit = lblTITLE->geometry();
        resizeOuter(outer * 3 / 2);
        QCOMPARE(lblTITLE->geometry(), titleAfterInit); // the first notification after Init leaves it alone

        // Raising a control keeps its position in the collection; one added later is left alone.
        lblTITLE->raise();
        auto* later = place(new QLabel("later", fraOPTIONS), QRect(5, 5, 10, 10), 9);
        resizeOuter(outer * 2); // everything doubles, fonts too
        QCOMPARE(lblTITLE->geometry(), QRect(60, 40, 240, 40));
        QCOMPARE(spnN->geometry(), QRect(60, 600, 180, 60));
        QCOMPARE(chkFAST->geometry(), QRect(20, 40, 200, 40)); // inside its frame
        QCOMPARE(later->geometry(), QRect(5, 5, 10, 10));
        QCOMPARE(linSPLIT->line(), QLine(20, 560, 940, 560));
        QCOMPARE(chkFAST->font().pointSizeF(), 18.0);
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
        QVERIFY(!window.testAttribute(Qt::WA_StaticContents)); // AutoRedraw as it was
        QVERIFY(t.reporter.texts.isEmpty());
    }
};

QTEST_MAIN(TestQtForm)
#include "tst_QtForm.moc"
