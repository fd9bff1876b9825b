#include "errors/RuntimeError.h"
#include "layout/Form.h"
#include "layout/class_Elastic.h"
#include "support/FakeErrors.h"

#include <QRegularExpression>
#include <QSet>
#include <QTest>

#include <map>
#include <vector>

using korvo::layout::class_Elastic;

namespace {

/// A control of a FakeForm: its properties by lower-case name; any other name fails with 438. It is a line
/// when it has end points.
using FakeControl = std::map<QString, double>;
using Controls = std::vector<FakeControl>;

FakeControl box(double top, double left, double height, double width, double font, double margin = qQNaN())
{
    FakeControl c{{"top", top}, {"left", left}, {"height", height}, {"width", width}, {"fontsize", font}};
    if (!qIsNaN(margin))
        c["rightmargin"] = margin;
    return c;
}

/// A window, 6000 × 4000 twips on the reference screen unless a test says otherwise.
struct FakeForm final : korvo::layout::Form
{
    float w = 6000, h = 4000;
    QSizeF screen{9690, 7290};
    int state = 0;
    bool redraw = false;
    Controls controls;
    float height() const override { return h; }
    float width() const override { return w; }
    void setHeight(float twips) override { h = twips; }
    void setWidth(float twips) override { w = twips; }
    int windowState() const override { return state; }
    bool autoRedraw() const override { return redraw; }
    void setAutoRedraw(bool on) override { redraw = on; }
    std::int32_t controlsCount() const override { return static_cast<std::int32_t>(controls.size()); }
    bool isLine(std::int32_t i) const override { return controls.at(static_cast<std::size_t>(i)).count("x1") != 0; }
    double controlProperty(std::int32_t i, QStringView name) const override
    {
        const FakeControl& c = controls.at(static_cast<std::size_t>(i));
        const auto found = c.find(name.toString().toLower());
        if (found == c.end())
            korvo::errors::raise(korvo::errors::err::NoSuchMember);
        return found->second;
    }
    void setControlProperty(std::int32_t i, QStringView name, double value) override
    {
        static_cast<void>(controlProperty(i, name));
        controls[static_cast<std::size_t>(i)][name.toString().toLower()] = value;
    }
    double screenHeight() const override { return screen.height(); }
    double screenWidth() const override { return screen.width(); }

    /// "width×height: " and each control's Top Left Height Width FontSize [RightMargin], or X1 Y1 X2 Y2.
    QString look() const
    {
        QStringList all;
        for (const FakeControl& c : controls) {
            QStringList values;
            for (const char* name : {"top", "left", "height", "width", "fontsize", "rightmargin", "x1", "y1", "x2", "y2"})
                if (c.count(name) != 0)
                    values << QString::number(c.at(name), 'g', 7);
            all << values.join(' ');
        }
        return QStringLiteral("%1×%2%3: ").arg(w, 0, 'g', 7).arg(h, 0, 'g', 7).arg(redraw ? " AutoRedraw" : "")
            + all.join(QStringLiteral("; "));
    }
};

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
        QTest::addColumn<QString>("fitted");
        QTest::addColumn<int>("reports");
        const QSizeF small(4800, 3600), big(19200, 14400);
        QTest::newRow("in proportion") << small << big << 0 << false << "9510.836×7111.111: " << 0;
        QTest::newRow("maximised") << small << big << 2 << false << "19200×14400: " << 0;
        QTest::newRow("FullScreen false") << small << big << 0 << true << "19200×14400: " << 0;
        QTest::newRow("beyond 16 bits") << QSizeF(32768, 32767.5) << QSizeF(9690, 7290) << 0 << false
                                        << "32768×32767.5: " << 2;
    }
    void initFits()
    {
        QFETCH(QSizeF, window);
        QFETCH(QSizeF, screen);
        QFETCH(int, state);
        QFETCH(bool, fullScreen);
        QFETCH(QString, fitted);
        QFETCH(int, reports);
        korvo::fakes::FakeTrap t;
        class_Elastic e(t.trap);
        FakeForm f;
        f.w = static_cast<float>(window.width());
        f.h = static_cast<float>(window.height());
        f.screen = screen;
        f.state = state;
        fullScreen ? e.Init(f, QVariant(false)) : e.Init(f);
        QCOMPARE(f.look(), fitted);
        const QStringList& texts = t.reporter.texts;
        const QRegularExpression report(R"(^Error 6\r\nOverflow\r\nLocation: KorvoTimer.class_Elastic.Init)"
                                        R"(\r\nLine \d+$)");
        QCOMPARE(texts.filter(report).size(), reports);
        QCOMPARE(QSet<QString>(texts.begin(), texts.end()).size(), reports); // the line tells which size failed
    }

    // Recorded at 6000 × 4000 and resized: every control rewritten from the record, floored; type follows the
    // width only, to the next even size; the right margin follows the height; never below half the size.
    // tst_QtForm's window shows the same on real widgets.
    void resizes_data()
    {
        QTest::addColumn<Controls>("controls");
        QTest::addColumn<QSizeF>("size"); // width × height, twips
        QTest::addColumn<QString>("resized");
        const Controls one{box(1000, 1200, 400, 600, 8)};
        QTest::newRow("held at half the height") << one << QSizeF(6000, 1999.5) << "6000×2000: 500 1200 200 600 8";
        QTest::newRow("held at half the width") << one << QSizeF(2999.5, 4000) << "3000×4000: 1000 600 400 300 4";
        QTest::newRow("type floored, then even")
            << Controls{box(0, 0, 0, 0, 9), box(0, 0, 0, 0, 11)} << QSizeF(9000, 4000)
            << "9000×4000: 0 0 0 0 14; 0 0 0 0 16";
        QTest::newRow("right margin") << Controls{box(100, 200, 300, 400, 8, 3000)} << QSizeF(6000, 8000)
                                      << "6000×8000: 200 200 600 400 8 6000";
        // A control without any of these properties is passed over without a word.
        QTest::newRow("line, and a control without geometry")
            << Controls{{{"x1", 600}, {"y1", 400}, {"x2", 1200}, {"y2", 800}}, {}} << QSizeF(3000, 8000)
            << "3000×8000: 300 800 600 1600; ";
        // Recorded rounded, halves to even; what does not fit 16 bits is recorded as 0.
        QTest::newRow("recorded rounded") << Controls{box(32767.5, 100.5, 2287.5, 400, 8.25, -7.5)}
                                          << QSizeF(6000, 4000) << "6000×4000: 0 100 2288 400 8 -8";
    }
    void resizes()
    {
        QFETCH(Controls, controls);
        QFETCH(QSizeF, size);
        QFETCH(QString, resized);
        korvo::fakes::FakeTrap t;
        class_Elastic e(t.trap);
        FakeForm f;
        f.controls = controls;
        e.Init(f);
        e.FormResize(f); // the first resize after Init only clears the flag
        f.w = static_cast<float>(size.width());
        f.h = static_cast<float>(size.height());
        e.FormResize(f);
        QCOMPARE(f.look(), resized);
        QVERIFY(t.reporter.texts.isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestClassElastic)
#include "tst_class_Elastic.moc"
