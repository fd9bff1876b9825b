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
        resizeOuter(outer * 2); // everything doubles, fonts too
        QCOMPARE(lblTITLE->geometry(), QRect(60, 40, 240, 40));
        QCOMPARE(spnN->geometry(), QRect(60, 600, 180, 60));
        QCOMPARE(chkFAST->geometry(), QRect(20, 40, 200, 40)); // inside its frame
        QCOMPARE(later->geometry(), QRect(5, 5, 10, 10));
        QCOMPARE(linSPLIT->line(), QLine(20, 560, 940, 560));
        QCOMPARE(chkFAST->font().pointSizeF(), 18.0);
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

QTEST_MAIN(TestQtForm)
#include "tst_QtForm.moc"
