#include "errors/RuntimeError.h"
#include "layout/Form.h"
#include "layout/class_Elastic.h"
#include "support/FakeErrors.h"

#include <QRegularExpression>
#include <QSet>
#include <QTest>

#include <map>
#include <utility>
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

FakeControl lineFrom(double x1, double y1, double x2, double y2)
{
    return {{"x1", x1}, {"y1", y1}, {"x2", x2}, {"y2", y2}};
}

/// A window, 6000 × 4000 twips on the reference screen, that logs its writes in order: "Name=value", "[i]"
/// where the writes to control i begin, AutoRedraw as "on" or "off".
class FakeForm final : public korvo::layout::Form
{
public:
    float w = 6000, h = 4000;
    QSizeF screen{9690, 7290};
    int state = 0;
    bool redraw = false;
    Controls controls;
    QStringList log;
    float height() const override { return h; }
    float width() const override { return w; }
    void setHeight(float twips) override { note(-1, "Height", static_cast<double>(h = twips)); }
    void setWidth(float twips) override { note(-1, "Width", static_cast<double>(w = twips)); }
    int windowState() const override { return state; }
    bool autoRedraw() const override { return redraw; }
    void setAutoRedraw(bool on) override { log << ((redraw = on) ? "on" : "off"); }
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
        note(i, name.toString(), value);
    }
    double screenHeight() const override { return screen.height(); }
    double screenWidth() const override { return screen.width(); }
    void resize(QSizeF s)
    {
        w = static_cast<float>(s.width());
        h = static_cast<float>(s.height());
    }

private:
    void note(int i, const QString& name, double value)
    {
        if (i >= 0 && std::exchange(m_logged, i) != i)
            log << QStringLiteral("[%1]").arg(i);
        log << name + '=' + QString::number(value, 'g', 7);
    }
    int m_logged = -1;
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
        QTest::addColumn<QString>("written");
        QTest::addColumn<int>("reports");
        const QSizeF small(4800, 3600), big(19200, 14400), reference(9690, 7290);
        QTest::newRow("in proportion") << small << big << 0 << false << "Height=7111.111 Width=9510.836" << 0;
        QTest::newRow("maximised") << small << big << 2 << false << "Height=14400 Width=19200" << 0;
        QTest::newRow("FullScreen false") << small << big << 0 << true << "Height=14400 Width=19200" << 0;
        QTest::newRow("height 32767.5") << QSizeF(4800, 32767.5) << reference << 0 << false
                                        << "Height=32767.5 Width=4800" << 1;
        QTest::newRow("both 32768") << QSizeF(32768, 32768) << reference << 0 << false << "Height=32768 Width=32768"
                                    << 2;
    }
    void initFits()
    {
        QFETCH(QSizeF, window);
        QFETCH(QSizeF, screen);
        QFETCH(int, state);
        QFETCH(bool, fullScreen);
        QFETCH(QString, written);
        QFETCH(int, reports);
        korvo::fakes::FakeTrap t;
        class_Elastic e(t.trap);
        FakeForm f;
        f.resize(window);
        f.screen = screen;
        f.state = state;
        fullScreen ? e.Init(f, QVariant(false)) : e.Init(f);
        QCOMPARE(f.log.join(' '), written);
        const QStringList& texts = t.reporter.texts;
        const QRegularExpression report(R"(^Error 6\r\nOverflow\r\nLocation: KorvoTimer.class_Elastic.Init)"
                                        R"(\r\nLine \d+$)");
        QCOMPARE(texts.filter(report).size(), reports);
        QCOMPARE(QSet<QString>(texts.begin(), texts.end()).size(), reports); // the line tells which size failed
    }

    // Recorded at 6000 × 4000 and resized: every control rewritten from the record, floored; fonts follow the
    // width only, to the next even size; the right margin follows the height; never below half the size.
    void resizes_data()
    {
        QTest::addColumn<Controls>("controls");
        QTest::addColumn<QSizeF>("size"); // width × height, twips
        QTest::addColumn<QString>("written");
        const Controls one{box(1000, 1200, 400, 600, 8)};
        const QString half = "[0] Top=500 Left=1200 Height=200 Width=600 FontSize=8";
        QTest::newRow("half the height") << one << QSizeF(6000, 2000) << "on " + half + " off";
        QTest::newRow("held at half the height") << one << QSizeF(6000, 1999.5) << "on Height=2000 " + half + " off";
        QTest::newRow("held at half the width")
            << one << QSizeF(2999.5, 4000) << "on Width=3000 [0] Top=1000 Left=600 Height=400 Width=300 FontSize=4 off";
        QTest::newRow("no controls") << Controls{} << QSizeF(6000, 1500) << "on Height=2000 off";
        QTest::newRow("right margin")
            << Controls{box(100, 200, 300, 400, 8, 3000)} << QSizeF(6000, 8000)
            << "on [0] Top=200 Left=200 Height=600 Width=400 FontSize=8 RightMargin=6000 off";
        // A control without any of these properties is passed over without a word.
        QTest::newRow("line, and a control without geometry")
            << Controls{lineFrom(600, 400, 1200, 800), {}} << QSizeF(3000, 8000)
            << "on [0] Y1=800 x1=300 Y2=1600 x2=600 off";
        // Recorded rounded, halves to even; what does not fit 16 bits is recorded as 0.
        QTest::newRow("recorded rounded")
            << Controls{box(32767.5, 100.5, 2287.5, 400, 8.25, -7.5)} << QSizeF(6000, 4000)
            << "on [0] Top=0 Left=100 Height=2288 Width=400 FontSize=8 RightMargin=-8 off";
        const Controls fonts{box(0, 0, 0, 0, 8), box(0, 0, 0, 0, 9), box(0, 0, 0, 0, 11), box(0, 0, 0, 0, 14)};
        const QString zero = "Top=0 Left=0 Height=0 Width=0 FontSize=";
        QTest::newRow("fonts at 1.5 the width") << fonts << QSizeF(9000, 4000)
            << "on [0] " + zero + "12 [1] " + zero + "14 [2] " + zero + "16 [3] " + zero + "22 off";
        QTest::newRow("fonts at 0.8 the width") << fonts << QSizeF(4800, 8000)
            << "on [0] " + zero + "6 [1] " + zero + "8 [2] " + zero + "8 [3] " + zero + "12 off";
    }
    void resizes()
    {
        QFETCH(Controls, controls);
        QFETCH(QSizeF, size);
        QFETCH(QString, written);
        korvo::fakes::FakeTrap t;
        class_Elastic e(t.trap);
        FakeForm f;
        f.controls = controls;
        e.Init(f);
        e.FormResize(f); // the first resize after Init only clears the flag
        QCOMPARE(f.log.join(' '), "Height=4000 Width=6000 on off");
        f.log.clear();
        f.resize(size);
        e.FormResize(f);
        QCOMPARE(f.log.join(' '), written);
        QVERIFY(t.reporter.texts.isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestClassElastic)
#include "tst_class_Elastic.moc"
