#include "errors/RuntimeError.h"
#include "layout/Form.h"
#include "layout/class_Elastic.h"
#include "support/FakeErrors.h"

#include <QRegularExpression>
#include <QSet>
#include <QTest>

#include <algorithm>
#include <functional>
#include <map>
#include <utility>
#include <vector>

using korvo::layout::class_Elastic;

namespace {

/// A control of a FakeForm: its numeric properties by lower-case name; any other name fails with 438.
/// It is a line when it has end points.
using FakeControl = std::map<QString, double>;

/// A control with a RightMargin only when one is given.
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

/// A scripted window, 4000 × 6000 twips on the reference screen, that logs every write in order: a size or
/// property as "Name=value", "[w]" or "[i]" where the writes to the window or to control i begin, AutoRedraw
/// as "on" or "off".
class FakeForm final : public korvo::layout::Form
{
public:
    float h = 4000, w = 6000;
    int state = 0;
    bool redraw = false;
    double screenH = 7290, screenW = 9690;
    std::vector<FakeControl> controls;
    bool refuseSize = false;        // size writes fail with 384, as on a maximised window
    float minHeight = 0;            // the window keeps at least this height
    std::function<void()> onResize; // raised from within a size write, once the size has changed
    QStringList log;
    int logged = -1; // whose writes the log shows last
    float height() const override { return h; }
    float width() const override { return w; }
    void setHeight(float twips) override { setSize(h, "Height", twips, std::max(twips, minHeight)); }
    void setWidth(float twips) override { setSize(w, "Width", twips, twips); }
    int windowState() const override { return state; }
    bool autoRedraw() const override { return redraw; }
    void setAutoRedraw(bool on) override { redraw = on; log << (on ? "on" : "off"); }
    std::int32_t controlsCount() const override { return static_cast<std::int32_t>(controls.size()); }
    bool isLine(std::int32_t index) const override { return control(index).count("x1") != 0; }
    double controlProperty(std::int32_t index, QStringView name) const override { return prop(index, name); }
    void setControlProperty(std::int32_t index, QStringView name, double value) override
    {
        prop(index, name) = value;
        note(index, name.toString(), value);
    }
    double screenHeight() const override { return screenH; }
    double screenWidth() const override { return screenW; }

private:
    void note(int index, const QString& name, double value)
    {
        if (std::exchange(logged, index) != index)
            log << (index < 0 ? QStringLiteral("[w]") : QStringLiteral("[%1]").arg(index));
        log << name + '=' + QString::number(value, 'g', 7);
    }
    void setSize(float& size, const char* name, float twips, float kept)
    {
        if (refuseSize)
            korvo::errors::raise(384, QStringLiteral("Can't size a maximised window"));
        note(-1, name, static_cast<double>(twips));
        size = kept;
        if (onResize)
            onResize();
    }
    FakeControl& control(std::int32_t index) const
    {
        if (index < 0 || index >= controlsCount())
            korvo::errors::raise(korvo::errors::err::SubscriptOutOfRange);
        return const_cast<FakeControl&>(controls[static_cast<std::size_t>(index)]);
    }
    double& prop(std::int32_t index, QStringView name) const
    {
        FakeControl& c = control(index);
        const auto found = c.find(name.toString().toLower());
        if (found == c.end())
            korvo::errors::raise(438, QStringLiteral("Object doesn't support this property or method"));
        return found->second;
    }
};

using Controls = std::vector<FakeControl>;

// The reporter answers Ignore.
struct Rig { korvo::fakes::FakeTrap t; class_Elastic e{t.trap}; FakeForm f; };

/// The six recorded entries of control i, in the order of the lists.
QList<int> entries(const class_Elastic& e, std::size_t i)
{
    return {e.TopY1().at(i), e.LeftX1().at(i), e.HeightY2().at(i), e.WidthX2().at(i), e.FontSizes().at(i),
            e.RightMargins().at(i)};
}

} // namespace

Q_DECLARE_METATYPE(Controls)

class TestClassElastic final : public QObject
{
    Q_OBJECT

private slots:
    void capturesRounded_data()
    {
        QTest::addColumn<QString>("property");
        QTest::addColumn<double>("value");
        QTest::addColumn<QList<int>>("recorded"); // Top, Left, Height, Width, FontSize, RightMargin
        QTest::newRow("FontSize 8.25") << "fontsize" << 8.25 << QList<int>{100, 200, 300, 400, 8, 500};
        QTest::newRow("FontSize 9.75") << "fontsize" << 9.75 << QList<int>{100, 200, 300, 400, 10, 500};
        QTest::newRow("Height 2287.5") << "height" << 2287.5 << QList<int>{100, 200, 2288, 400, 10, 500};
        QTest::newRow("Height 2286.5") << "height" << 2286.5 << QList<int>{100, 200, 2286, 400, 10, 500};
        QTest::newRow("Top -32768.5 fits") << "top" << -32768.5 << QList<int>{-32768, 200, 300, 400, 10, 500};
        QTest::newRow("Top 32767.5 does not") << "top" << 32767.5 << QList<int>{0, 200, 300, 400, 10, 500};
        QTest::newRow("Left 40000") << "left" << 40000.0 << QList<int>{100, 0, 300, 400, 10, 500};
        QTest::newRow("RightMargin -7.5") << "rightmargin" << -7.5 << QList<int>{100, 200, 300, 400, 10, -8};
    }
    void capturesRounded()
    {
        QFETCH(QString, property);
        QFETCH(double, value);
        QFETCH(QList<int>, recorded);
        Rig r;
        r.f.controls = Controls(4, box(1, 1, 1, 1, 9, 5)); // a first recording, which the second one replaces
        r.e.Init(r.f);
        // The last control has no geometry at all.
        r.f.controls = {lineFrom(15, 30, 45, 60), box(100, 200, 300, 400, 10, 500), {}};
        r.f.controls[1][property] = value;
        r.e.Init(r.f);
        QCOMPARE(r.e.RightMargins().size(), 3U);
        QCOMPARE(entries(r.e, 0), (QList<int>{30, 15, 60, 45, 0, 0}));
        QCOMPARE(entries(r.e, 1), recorded);
        QCOMPARE(entries(r.e, 2), (QList<int>{0, 0, 0, 0, 0, 0}));
        QVERIFY(r.t.reporter.texts.isEmpty());
    }

    /// Steps run in order on the window; the log shows every write, the reports every error reported.
    /// Steps: h=, w= the window's size; min= the height it keeps at least; sh=, sw= the screen's size;
    /// state= the window state; fixed: size writes fail; redraw: AutoRedraw starts on; nested: the resize
    /// notification runs FormResize; add: a control appended; drop: the first control removed; init: Init;
    /// full=true|false|(empty): Init with FullScreen; resize: FormResize; record: Init and the first
    /// FormResize, then an empty log.
    void scripted_data()
    {
        QTest::addColumn<Controls>("controls");
        QTest::addColumn<QString>("script");
        QTest::addColumn<QString>("written");
        QTest::addColumn<int>("reports");
        const auto row = [](const char* name, const Controls& c, const QString& script, const QString& log, int n = 0) {
            QTest::newRow(name) << c << script << log << n;
        };
        const Controls one{box(1000, 1200, 400, 600, 8)};
        const QString half = "Top=500 Left=1200 Height=200 Width=600 FontSize=8"; // at half the recorded height
        const QString screen = "Height=14400 Width=19200";
        row("4800 x 3600 on 19200 x 14400", one, "h=3600 w=4800 sh=14400 sw=19200 init",
            "Height=7111.111 Width=9510.836"); // single precision, not whole twips
        row("minimised", one, "state=1 h=3600 w=4800 sh=14400 sw=19200 init", "Height=7111.111 Width=9510.836");
        row("maximised", one, "state=2 sh=14400 sw=19200 init", screen);
        row("FullScreen false", one, "sh=14400 sw=19200 full=false", screen);
        row("FullScreen empty", one, "full=", "Height=7290 Width=9690");
        row("maximised, refused", one, "redraw state=2 fixed init resize", "on on");
        row("first resize after Init", one, "init h=1500 resize resize",
            "Height=4000 Width=6000 on off on Height=2000 [0] " + half + " off");
        row("never initialised", one, "h=1500 resize", "on off");
        row("no controls", {}, "record h=1500 resize", "on Height=2000 off");
        row("1999.5 high", one, "record h=1999.5 resize", "on Height=2000 [0] " + half + " off");
        row("2000 high", one, "record h=2000 resize", "on [0] " + half + " off");
        row("2999.5 wide", one, "record w=2999.5 resize",
            "on Width=3000 [0] Top=1000 Left=600 Height=400 Width=300 FontSize=4 off");
        row("window keeps 3200", one, "record min=3200 h=1500 resize",
            "on Height=2000 [0] Top=800 Left=1200 Height=320 Width=600 FontSize=8 off");
        // The inner pass finds AutoRedraw on and leaves it on; the outer one restores the original.
        row("nested in the minimum write", one, "record nested h=1500 resize",
            "on Height=2000 on [0] " + half + " on " + half + " off");
        // The Height write's notification uses up the flag, Init sets it again after the Width write's one.
        row("nested in Init", one, "nested sh=14580 sw=19380 init resize",
            "Height=8000 on off Width=12000 on [0] Top=2000 Left=2400 Height=800 Width=1200 FontSize=16 off on off");
        row("RightMargin 3000", {box(100, 200, 300, 400, 8, 3000)}, "record h=8000 resize",
            "on [0] Top=200 Left=200 Height=600 Width=400 FontSize=8 RightMargin=6000 off");
        row("line end points", {lineFrom(600, 400, 1200, 800)}, "record h=8000 w=3000 resize",
            "on [0] Y1=800 x1=300 Y2=1600 x2=600 off");
        row("font 8, factor 10", {box(100, 1000, 100, 1000, 8, 300)}, "record fixed w=600 resize",
            "on [0] Top=100 Left=100 Height=100 Width=100 FontSize=0 RightMargin=300 off");
        row("zero height", {box(100, 200, 300, 400, 8, 50)}, "record fixed h=0 w=12000 resize",
            "on [0] Left=400 Width=800 FontSize=16 off");
        row("added after Init", {box(200, 200, 200, 200, 8)}, "record add h=8000 resize",
            "on [0] Top=400 Left=200 Height=400 Width=200 FontSize=8 off");
        // The box's entry lands on the line as end points, the line's on the last box, with no font.
        row("first removed", {box(100, 100, 100, 100, 8), lineFrom(15, 30, 45, 60), box(300, 300, 300, 300, 10)},
            "record drop h=8000 resize",
            "on [0] Y1=200 x1=100 Y2=200 x2=100 [1] Top=60 Left=15 Height=120 Width=45 FontSize=0 off");
        // A size that does not fit is reported; Ignore leaves it unrecorded, so it scales nothing.
        row("Height 32767.5", one, "h=32767.5 w=4800 record resize", "on [0] Left=1200 Width=600 FontSize=8 off", 1);
        row("Width 40000", one, "h=3600 w=40000 record resize", "on [0] Top=1000 Height=400 off", 1);
        row("both 32768", one, "h=32768 w=32768 record resize", "on off", 2);

        // Twice, to show nothing accumulates: every pass starts from the recording.
        const auto scaling = [&row](const char* size, QList<int> fonts, QList<int> scaled, const QString& geometry) {
            Controls controls;
            QString pass = "on";
            for (int i = 0; i < fonts.size(); ++i) {
                controls.push_back(box(1000, 2500, 600, 900, fonts[i], 0));
                pass += QString(" [%1] %2 FontSize=%3 RightMargin=0").arg(i).arg(geometry).arg(scaled[i]);
            }
            row(size, controls, QString("record %1 resize resize").arg(size), pass + " off " + pass + " off");
        };
        scaling("h=6000 w=9000", {8, 9, 10, 11}, {12, 14, 16, 16}, "Top=1500 Left=3750 Height=900 Width=1350");
        scaling("w=6600", {8, 9, 10, 12, 14}, {8, 10, 12, 14, 16}, "Top=1000 Left=2750 Height=600 Width=990");
        scaling("w=4800", {8, 9, 10, 12, 14}, {6, 8, 8, 10, 12}, "Top=1000 Left=2000 Height=600 Width=720");
    }
    void scripted()
    {
        QFETCH(Controls, controls);
        QFETCH(QString, script);
        QFETCH(QString, written);
        QFETCH(int, reports);
        Rig r;
        r.f.controls = controls;
        QString arg;
        const std::map<QString, std::function<void()>> steps{
            {"h", [&] { r.f.h = arg.toFloat(); }},
            {"w", [&] { r.f.w = arg.toFloat(); }},
            {"min", [&] { r.f.minHeight = arg.toFloat(); }},
            {"sh", [&] { r.f.screenH = arg.toDouble(); }},
            {"sw", [&] { r.f.screenW = arg.toDouble(); }},
            {"state", [&] { r.f.state = arg.toInt(); }},
            {"fixed", [&] { r.f.refuseSize = true; }},
            {"redraw", [&] { r.f.redraw = true; }},
            {"nested", [&] { r.f.onResize = [&r] { r.e.FormResize(r.f); }; }},
            {"add", [&] { r.f.controls.push_back(box(300, 300, 300, 300, 8)); }},
            {"drop", [&] { r.f.controls.erase(r.f.controls.begin()); }},
            {"init", [&] { r.e.Init(r.f); }},
            {"full", [&] { r.e.Init(r.f, arg.isEmpty() ? QVariant() : QVariant(arg == "true")); }},
            {"resize", [&] { r.e.FormResize(r.f); }},
            // Init and the first resize after it, which only clears the flag; the log starts afresh.
            {"record", [&] { r.e.Init(r.f); r.e.FormResize(r.f); r.f.log.clear(); r.f.logged = -1; }},
        };
        for (const QString& step : script.split(' ')) {
            arg = step.section('=', 1);
            steps.at(step.section('=', 0, 0))();
        }
        QCOMPARE(r.f.log.join(' '), written);

        const QStringList& texts = r.t.reporter.texts;
        const QRegularExpression report("^Error 6\r\n.*\r\nLocation: KorvoTimer.class_Elastic.Init\r\nLine \\d+$");
        QCOMPARE(texts.filter(report).size(), reports);
        QCOMPARE(QSet<QString>(texts.begin(), texts.end()).size(), reports); // the line tells which size failed
    }
};

QTEST_GUILESS_MAIN(TestClassElastic)
#include "tst_class_Elastic.moc"
