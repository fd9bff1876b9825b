#include "FakeForm.h"
#include "fakes/FakeErrors.h"
#include "layout/class_Elastic.h"

#include <QTest>

#include <algorithm>

using korvo::errors::Answer;
using korvo::layout::class_Elastic;
using korvo::layout::test::FakeControl;
using korvo::layout::test::FakeForm;
using Write = FakeForm::Write;

Q_DECLARE_METATYPE(std::vector<Write>)

namespace {

/// A window of 4000 × 6000 twips on the reference screen, so that Init leaves its size as it was.
FakeForm windowOf(std::vector<FakeControl> controls)
{
    FakeForm f;
    f.h = 4000;
    f.w = 6000;
    f.controls = std::move(controls);
    return f;
}

/// Init, then the first FormResize that only clears the flag; the log starts empty.
void record(class_Elastic& e, FakeForm& f)
{
    e.Init(f);
    e.FormResize(f);
    f.clearLog();
}

FakeControl withMargin(FakeControl c, double margin)
{
    c.props["rightmargin"] = margin;
    return c;
}

/// The six recorded entries of control i, in the order of the lists.
QList<int> entries(const class_Elastic& e, std::size_t i)
{
    return {e.TopY1().at(i), e.LeftX1().at(i), e.HeightY2().at(i),
            e.WidthX2().at(i), e.FontSizes().at(i), e.RightMargins().at(i)};
}

QStringList names(const std::vector<Write>& writes, int index)
{
    QStringList out;
    for (const Write& w : writes)
        if (w.index == index)
            out << w.name;
    return out;
}

} // namespace

class TestClassElastic final : public QObject
{
    Q_OBJECT

private slots:
    void capturesRounded_data()
    {
        QTest::addColumn<QString>("property");
        QTest::addColumn<double>("value");
        QTest::addColumn<int>("list");
        QTest::addColumn<int>("recorded");
        QTest::newRow("FontSize 8.25") << "fontsize" << 8.25 << 4 << 8;
        QTest::newRow("FontSize 9.75") << "fontsize" << 9.75 << 4 << 10;
        QTest::newRow("Height 2287.5") << "height" << 2287.5 << 2 << 2288;
        QTest::newRow("Height 2286.5") << "height" << 2286.5 << 2 << 2286;
        QTest::newRow("Top -32768.5 fits") << "top" << -32768.5 << 0 << -32768;
        QTest::newRow("Top 32767.5 does not") << "top" << 32767.5 << 0 << 0;
        QTest::newRow("Left 40000") << "left" << 40000.0 << 1 << 0;
        QTest::newRow("RightMargin -7.5") << "rightmargin" << -7.5 << 5 << -8;
    }
    void capturesRounded()
    {
        QFETCH(QString, property);
        QFETCH(double, value);
        QFETCH(int, list);
        QFETCH(int, recorded);

        FakeControl c = withMargin(FakeControl::box(100, 200, 300, 400, 10), 500);
        c.props[property] = value;
        korvo::fakes::FakeTrap t;
        class_Elastic e(t.trap);
        FakeForm f = windowOf({FakeControl::box(1, 2, 3, 4, 5), c, FakeControl::box(6, 7, 8, 9, 10)});
        e.Init(f);

        QList<int> expected{100, 200, 300, 400, 10, 500};
        expected[list] = recorded;
        QCOMPARE(entries(e, 1), expected);
        // Neighbours are unaffected; a control without a right margin records 0 there.
        QCOMPARE(entries(e, 0), (QList<int>{1, 2, 3, 4, 5, 0}));
        QCOMPARE(entries(e, 2), (QList<int>{6, 7, 8, 9, 10, 0}));
        QVERIFY(t.reporter.texts.isEmpty());
    }

    void capturesLinesAndBareControls()
    {
        FakeControl line = FakeControl::lineFrom(15, 30, 45, 60);
        line.props["fontsize"] = 9; // even if a line had these, they are not its to record
        line.props["rightmargin"] = 9;
        FakeControl menu; // no geometry at all
        korvo::fakes::FakeTrap t;
        class_Elastic e(t.trap);
        FakeForm f = windowOf({line, menu, FakeControl::box(10, 20, 30, 40, 12)});
        e.Init(f);

        QCOMPARE(e.LastIndex(), 2);
        QCOMPARE(entries(e, 0), (QList<int>{30, 15, 60, 45, 0, 0}));
        QCOMPARE(entries(e, 1), (QList<int>{0, 0, 0, 0, 0, 0}));
        QCOMPARE(entries(e, 2), (QList<int>{10, 20, 30, 40, 12, 0}));
        QVERIFY(t.reporter.texts.isEmpty());
    }

    void emptyWindow()
    {
        korvo::fakes::FakeTrap t;
        class_Elastic e(t.trap);
        FakeForm f = windowOf({});
        record(e, f);
        f.h = 8000;
        e.FormResize(f);
        QCOMPARE(e.LastIndex(), -1);
        QVERIFY(e.TopY1().empty() && e.RightMargins().empty());
        QVERIFY(f.controlWrites().empty());
        QVERIFY(t.reporter.texts.isEmpty());
    }

    void fitsWindowToScreen_data()
    {
        QTest::addColumn<int>("state");
        QTest::addColumn<bool>("passed");
        QTest::addColumn<QVariant>("fullScreen");
        QTest::addColumn<double>("screenH");
        QTest::addColumn<double>("screenW");
        QTest::addColumn<float>("height");
        QTest::addColumn<float>("width");
        QTest::newRow("large screen") << 0 << false << QVariant() << 14400.0 << 19200.0 << 7111.111F << 9510.836F;
        QTest::newRow("reference screen") << 0 << false << QVariant() << 7290.0 << 9690.0 << 3600.0F << 4800.0F;
        QTest::newRow("minimised") << 1 << false << QVariant() << 14400.0 << 19200.0 << 7111.111F << 9510.836F;
        QTest::newRow("maximised") << 2 << false << QVariant() << 14400.0 << 19200.0 << 14400.0F << 19200.0F;
        QTest::newRow("FullScreen true") << 0 << true << QVariant(true) << 14400.0 << 19200.0 << 14400.0F << 19200.0F;
        QTest::newRow("FullScreen false") << 0 << true << QVariant(false) << 14400.0 << 19200.0 << 14400.0F << 19200.0F;
        QTest::newRow("FullScreen empty") << 0 << true << QVariant() << 7290.0 << 9690.0 << 7290.0F << 9690.0F;
    }
    void fitsWindowToScreen()
    {
        QFETCH(int, state);
        QFETCH(bool, passed);
        QFETCH(QVariant, fullScreen);
        QFETCH(double, screenH);
        QFETCH(double, screenW);
        QFETCH(float, height);
        QFETCH(float, width);

        korvo::fakes::FakeTrap t;
        class_Elastic e(t.trap);
        FakeForm f;
        f.h = 3600;
        f.w = 4800;
        f.state = state;
        f.screenH = screenH;
        f.screenW = screenW;
        e.Init(f, passed ? std::optional<QVariant>(fullScreen) : std::nullopt);

        QCOMPARE(e.CapturedHeight(), 3600);
        QCOMPARE(e.CapturedWidth(), 4800);
        const std::vector<Write> w = f.windowWrites();
        QCOMPARE(w.size(), 2U);
        QCOMPARE(w[0].name, "Height");
        QCOMPARE(static_cast<float>(w[0].value), height); // fuzzy: single precision, not whole twips
        QCOMPARE(w[1].name, "Width");
        QCOMPARE(static_cast<float>(w[1].value), width);
        QVERIFY(e.SkipNextResize());
        QVERIFY(t.reporter.texts.isEmpty());
    }

    void refusedScreenFitIsSkipped()
    {
        korvo::fakes::FakeTrap t;
        class_Elastic e(t.trap);
        FakeForm f = windowOf({FakeControl::box(10, 20, 30, 40, 8)});
        f.state = 2;
        f.refuseSize = true;
        e.Init(f);
        QVERIFY(f.windowWrites().empty());
        QCOMPARE(e.CapturedHeight(), 4000);
        QCOMPARE(entries(e, 0), (QList<int>{10, 20, 30, 40, 8, 0}));
        QVERIFY(e.SkipNextResize());
        QVERIFY(t.reporter.texts.isEmpty());
    }

    void oversizedWindowIsReported_data()
    {
        QTest::addColumn<float>("height");
        QTest::addColumn<float>("width");
        QTest::addColumn<int>("reports");
        QTest::addColumn<int>("capturedHeight"); // Ignore leaves a failed capture as it was
        QTest::addColumn<int>("capturedWidth");
        QTest::newRow("Height 32767.5") << 32767.5F << 4800.0F << 1 << 0 << 4800;
        QTest::newRow("Width 40000") << 3600.0F << 40000.0F << 1 << 3600 << 0;
        QTest::newRow("both") << 32768.0F << 32768.0F << 2 << 0 << 0;
        QTest::newRow("Height 32767.4 fits") << 32767.4F << 4800.0F << 0 << 32767 << 4800;
    }
    void oversizedWindowIsReported()
    {
        QFETCH(float, height);
        QFETCH(float, width);
        QFETCH(int, reports);
        QFETCH(int, capturedHeight);
        QFETCH(int, capturedWidth);

        korvo::fakes::FakeTrap t; // answers Ignore
        class_Elastic e(t.trap);
        FakeForm f;
        f.h = height;
        f.w = width;
        f.controls = {FakeControl::box(10, 20, 30, 40, 8)};
        e.Init(f);

        QCOMPARE(t.reporter.texts.size(), reports);
        QStringList lines;
        for (const QString& text : t.reporter.texts) {
            const QStringList parts = text.split("\r\n");
            QCOMPARE(parts.size(), 4);
            QCOMPARE(parts[0], "Error 6");
            QCOMPARE(parts[2], "Location: KorvoTimer.class_Elastic.Init");
            QVERIFY(parts[3].startsWith("Line "));
            lines << parts[3];
        }
        if (reports == 2)
            QVERIFY(lines[0] != lines[1]); // the line tells which size failed
        QCOMPARE(e.CapturedHeight(), capturedHeight);
        QCOMPARE(e.CapturedWidth(), capturedWidth);
        QCOMPARE(entries(e, 0), (QList<int>{10, 20, 30, 40, 8, 0}));
        QVERIFY(e.SkipNextResize());
    }

    void abortInInitStopsEverything()
    {
        korvo::fakes::FakeTrap t;
        t.reporter.answers = {Answer::Abort};
        class_Elastic e(t.trap);
        FakeForm f = windowOf({FakeControl::box(10, 20, 30, 40, 8)});
        f.h = 40000;
        e.Init(f);
        QCOMPARE(t.end.count, 1);
        QVERIFY(e.TopY1().empty());
        QVERIFY(f.writes.empty());
        QVERIFY(!e.SkipNextResize());
    }

    void firstResizeAfterInitTouchesNothing()
    {
        korvo::fakes::FakeTrap t;
        class_Elastic e(t.trap);
        FakeForm f = windowOf({FakeControl::box(1000, 2500, 600, 900, 8)});
        e.Init(f);
        f.clearLog();
        f.h = 1000; // small enough for the minimum size to apply
        f.w = 9000;
        e.FormResize(f);
        QVERIFY(f.writes.empty());
        QVERIFY(!f.redraw);
        QVERIFY(!e.SkipNextResize());

        e.FormResize(f);
        QCOMPARE(f.windowWrites(), (std::vector<Write>{{-1, "Height", 2000}}));
        QCOMPARE(names(f.writes, 0), (QStringList{"Top", "Left", "Height", "Width", "FontSize"}));
    }

    void scalesFromRecording_data()
    {
        QTest::addColumn<float>("height");
        QTest::addColumn<float>("width");
        QTest::addColumn<QList<int>>("fonts");
        QTest::addColumn<QList<int>>("scaledFonts");
        QTest::addColumn<QList<double>>("geometry"); // Top, Left, Height, Width of a 1000, 2500, 600, 900 box

        QTest::newRow("6000 x 9000") << 6000.0F << 9000.0F << QList<int>{8, 9, 10, 11} << QList<int>{12, 14, 16, 16}
                                     << QList<double>{1500, 3750, 900, 1350};
        QTest::newRow("6600 wide") << 4000.0F << 6600.0F << QList<int>{8, 9, 10, 12, 14}
                                   << QList<int>{8, 10, 12, 14, 16} << QList<double>{1000, 2750, 600, 990};
        QTest::newRow("4800 wide") << 4000.0F << 4800.0F << QList<int>{8, 9, 10, 12, 14}
                                   << QList<int>{6, 8, 8, 10, 12} << QList<double>{1000, 2000, 600, 720};
        QTest::newRow("unchanged") << 4000.0F << 6000.0F << QList<int>{7, 8} << QList<int>{8, 8}
                                   << QList<double>{1000, 2500, 600, 900};
    }
    void scalesFromRecording()
    {
        QFETCH(float, height);
        QFETCH(float, width);
        QFETCH(QList<int>, fonts);
        QFETCH(QList<int>, scaledFonts);
        QFETCH(QList<double>, geometry);

        std::vector<FakeControl> controls;
        for (int size : fonts)
            controls.push_back(withMargin(FakeControl::box(1000, 2500, 600, 900, size), 0));
        korvo::fakes::FakeTrap t;
        class_Elastic e(t.trap);
        FakeForm f = windowOf(controls);
        record(e, f);

        f.h = height;
        f.w = width;
        // Twice, to show nothing accumulates: every pass starts from the recording.
        e.FormResize(f);
        e.FormResize(f);

        QVERIFY(f.windowWrites().empty());
        for (int i = 0; i < fonts.size(); ++i) {
            QCOMPARE(names(f.writes, i),
                     (QStringList{"Top", "Left", "Height", "Width", "FontSize", "RightMargin", "Top", "Left",
                                  "Height", "Width", "FontSize", "RightMargin"}));
            QCOMPARE(*f.written(i, "FontSize"), scaledFonts[i]);
            QCOMPARE(*f.written(i, "Top"), geometry[0]);
            QCOMPARE(*f.written(i, "Left"), geometry[1]);
            QCOMPARE(*f.written(i, "Height"), geometry[2]);
            QCOMPARE(*f.written(i, "Width"), geometry[3]);
            QCOMPARE(*f.written(i, "RightMargin"), 0.0); // a recorded 0 is written as 0
        }
        QVERIFY(t.reporter.texts.isEmpty());
    }

    void keepsHalfTheRecordedSize_data()
    {
        QTest::addColumn<float>("height");
        QTest::addColumn<float>("width");
        QTest::addColumn<float>("keptHeight"); // the window's own minimum, 0 for none
        QTest::addColumn<std::vector<Write>>("windowWrites");
        QTest::addColumn<double>("top");  // recorded 1000
        QTest::addColumn<double>("left"); // recorded 1200

        QTest::newRow("dragged to 1500 high") << 1500.0F << 6000.0F << 0.0F
                                              << std::vector<Write>{{-1, "Height", 2000}} << 500.0 << 1200.0;
        QTest::newRow("1999.5 high") << 1999.5F << 6000.0F << 0.0F << std::vector<Write>{{-1, "Height", 2000}}
                                     << 500.0 << 1200.0;
        QTest::newRow("exactly 2000 high") << 2000.0F << 6000.0F << 0.0F << std::vector<Write>{} << 500.0 << 1200.0;
        QTest::newRow("2999.5 wide") << 4000.0F << 2999.5F << 0.0F << std::vector<Write>{{-1, "Width", 3000}}
                                     << 1000.0 << 600.0;
        QTest::newRow("window keeps 3200") << 1500.0F << 6000.0F << 3200.0F
                                           << std::vector<Write>{{-1, "Height", 2000}} << 800.0 << 1200.0;
    }
    void keepsHalfTheRecordedSize()
    {
        QFETCH(float, height);
        QFETCH(float, width);
        QFETCH(float, keptHeight);
        QFETCH(std::vector<Write>, windowWrites);
        QFETCH(double, top);
        QFETCH(double, left);

        korvo::fakes::FakeTrap t;
        class_Elastic e(t.trap);
        FakeForm f = windowOf({FakeControl::box(1000, 1200, 400, 600, 8)});
        record(e, f);
        f.h = height;
        f.w = width;
        f.keepHeight = [keptHeight](float v) { return std::max(v, keptHeight); };
        e.FormResize(f);

        QCOMPARE(f.windowWrites(), windowWrites);
        QCOMPARE(*f.written(0, "Top"), top);
        QCOMPARE(*f.written(0, "Left"), left);
    }

    void rightMarginFollowsHeight()
    {
        korvo::fakes::FakeTrap t;
        class_Elastic e(t.trap);
        FakeForm f = windowOf({withMargin(FakeControl::box(100, 200, 300, 400, 8), 3000)});
        record(e, f);
        f.h = 8000; // HeightFactor 0.5, WidthFactor 1
        e.FormResize(f);
        QCOMPARE(*f.written(0, "RightMargin"), 6000.0);
        QCOMPARE(*f.written(0, "Width"), 400.0);
        QCOMPARE(*f.written(0, "FontSize"), 8.0);
        QCOMPARE(*f.written(0, "Height"), 600.0);
    }

    void lineEndPointsFollowTheirOwnFactors()
    {
        korvo::fakes::FakeTrap t;
        class_Elastic e(t.trap);
        FakeForm f = windowOf({FakeControl::lineFrom(600, 400, 1200, 800)});
        record(e, f);
        f.h = 8000; // HeightFactor 0.5
        f.w = 3000; // WidthFactor 2
        e.FormResize(f);
        QCOMPARE(f.controlWrites(),
                 (std::vector<Write>{{0, "Y1", 800}, {0, "x1", 300}, {0, "Y2", 1600}, {0, "x2", 600}}));
    }

    void tinyFontIsWrittenAsZero_data()
    {
        QTest::addColumn<bool>("refusesZero");
        QTest::newRow("accepted") << false;
        QTest::newRow("refused") << true;
    }
    void tinyFontIsWrittenAsZero()
    {
        QFETCH(bool, refusesZero);
        FakeControl c = withMargin(FakeControl::box(100, 1000, 100, 1000, 8), 300);
        c.positiveFontsOnly = refusesZero;
        korvo::fakes::FakeTrap t;
        class_Elastic e(t.trap);
        FakeForm f = windowOf({c});
        record(e, f);
        f.refuseSize = true; // so that the minimum width cannot be enforced
        f.w = 600;           // WidthFactor 10
        e.FormResize(f);

        QCOMPARE(f.written(0, "FontSize"), refusesZero ? std::nullopt : std::optional<double>(0));
        QCOMPARE(*f.written(0, "Left"), 100.0);
        QCOMPARE(*f.written(0, "Width"), 100.0);
        QCOMPARE(*f.written(0, "RightMargin"), 300.0); // the write after the refused one still happens
        QVERIFY(t.reporter.texts.isEmpty());
    }

    void zeroSizeLosesOnlyItsFactor()
    {
        korvo::fakes::FakeTrap t;
        class_Elastic e(t.trap);
        FakeForm f = windowOf({withMargin(FakeControl::box(100, 200, 300, 400, 8), 50)});
        record(e, f);
        f.refuseSize = true;
        f.h = 0;
        f.w = 12000;
        e.FormResize(f);
        QCOMPARE(f.controlWrites(), (std::vector<Write>{{0, "Left", 400}, {0, "Width", 800}, {0, "FontSize", 16}}));
        QVERIFY(t.reporter.texts.isEmpty());
    }

    void controlAddedAfterInitIsUntouched()
    {
        korvo::fakes::FakeTrap t;
        class_Elastic e(t.trap);
        FakeForm f = windowOf({FakeControl::box(100, 100, 100, 100, 8), FakeControl::box(200, 200, 200, 200, 8)});
        record(e, f);
        f.controls.push_back(FakeControl::box(300, 300, 300, 300, 8));
        f.h = 8000;
        e.FormResize(f);
        QCOMPARE(*f.written(1, "Top"), 400.0);
        QVERIFY(names(f.writes, 2).isEmpty());
    }

    void removedControlShiftsLaterEntries()
    {
        korvo::fakes::FakeTrap t;
        class_Elastic e(t.trap);
        FakeForm f = windowOf({FakeControl::box(100, 100, 100, 100, 8), FakeControl::lineFrom(15, 30, 45, 60),
                               FakeControl::box(300, 300, 300, 300, 10)});
        record(e, f);
        f.controls.erase(f.controls.begin());
        f.h = 8000;
        e.FormResize(f);
        // The box's entry lands on the line as end points, the line's entry on the last box.
        QCOMPARE(*f.written(0, "Y1"), 200.0);
        QCOMPARE(*f.written(0, "x1"), 100.0);
        QCOMPARE(*f.written(1, "Top"), 60.0);
        QCOMPARE(*f.written(1, "Left"), 15.0);
        QCOMPARE(f.written(1, "FontSize"), std::optional<double>(0)); // a line records no font
        QVERIFY(t.reporter.texts.isEmpty());
    }

    void secondInitStartsAfresh()
    {
        korvo::fakes::FakeTrap t;
        class_Elastic e(t.trap);
        FakeForm f = windowOf({withMargin(FakeControl::box(100, 100, 100, 100, 9), 5),
                               withMargin(FakeControl::box(200, 200, 200, 200, 9), 5),
                               FakeControl::box(300, 300, 300, 300, 9)});
        e.Init(f);
        FakeControl noFont = FakeControl::box(7, 8, 9, 10, 0);
        noFont.props.erase("fontsize");
        f.controls = {noFont, FakeControl::lineFrom(1, 2, 3, 4)};
        f.h = 3000;
        e.Init(f);

        QCOMPARE(e.CapturedHeight(), 3000);
        QCOMPARE(e.LastIndex(), 1);
        QCOMPARE(e.TopY1().size(), 2U);
        QCOMPARE(entries(e, 0), (QList<int>{7, 8, 9, 10, 0, 0}));
        QCOMPARE(entries(e, 1), (QList<int>{2, 1, 4, 3, 0, 0}));
    }

    void neverInitialisedChangesNothing()
    {
        korvo::fakes::FakeTrap t;
        class_Elastic e(t.trap);
        FakeForm f = windowOf({FakeControl::box(100, 100, 100, 100, 8)});
        f.h = 10;
        f.w = 10;
        f.redraw = false;
        e.FormResize(f);
        QVERIFY(f.controlWrites().empty());
        QVERIFY(f.windowWrites().empty());
        QVERIFY(!f.redraw);
        QCOMPARE(e.CapturedHeight(), 0);
        QVERIFY(e.TopY1().empty());
        QVERIFY(t.reporter.texts.isEmpty());
    }

    void autoRedrawIsRestored_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<bool>("initial");
        for (const char* path : {"first after Init", "full pass", "never initialised", "nested"}) {
            QTest::addRow("%s, off", path) << QString(path) << false;
            QTest::addRow("%s, on", path) << QString(path) << true;
        }
    }
    void autoRedrawIsRestored()
    {
        QFETCH(QString, path);
        QFETCH(bool, initial);

        korvo::fakes::FakeTrap t;
        class_Elastic e(t.trap);
        FakeForm f = windowOf({FakeControl::box(1000, 100, 100, 100, 8)});
        if (path == "first after Init") {
            e.Init(f);
        } else if (path != "never initialised") {
            record(e, f);
        }
        f.clearLog();
        f.redraw = initial;
        int nested = 0;
        if (path == "nested") {
            f.h = 1500; // the minimum-height write raises the resize notification
            f.onResize = [&] {
                ++nested;
                e.FormResize(f);
            };
        }
        e.FormResize(f);

        QCOMPARE(f.redraw, initial);
        QVERIFY(f.redrawWrites.size() >= 2);
        QCOMPARE(f.redrawWrites.front(), true);
        QCOMPARE(f.redrawWrites.back(), initial);
        if (path == "nested") {
            QCOMPARE(nested, 1);
            // The nested pass found AutoRedraw on and left it on; the outer one restores the original.
            QCOMPARE(f.redrawWrites, (std::vector<bool>{true, true, true, initial}));
            QCOMPARE(names(f.writes, 0).count("Top"), 2);
            QCOMPARE(*f.written(0, "Top"), 500.0);
        }
    }

    void initSurvivesResizeNotifications()
    {
        korvo::fakes::FakeTrap t;
        class_Elastic e(t.trap);
        FakeForm f = windowOf({withMargin(FakeControl::box(1000, 1000, 100, 100, 8), 0)});
        f.screenH = 14580; // twice the reference screen
        f.screenW = 19380;
        int calls = 0;
        f.onResize = [&] {
            ++calls;
            e.FormResize(f);
        };
        e.Init(f);

        // The Height write's notification used up the flag; the Width write's one made a full pass.
        QCOMPARE(calls, 2);
        QCOMPARE(f.controlWrites().size(), 6U);
        QCOMPARE(*f.written(0, "Top"), 2000.0);
        QVERIFY(e.SkipNextResize());

        f.onResize = nullptr;
        f.clearLog();
        e.FormResize(f);
        QVERIFY(f.controlWrites().empty());
    }

    void doNotResizeTagIsPlainStorage()
    {
        korvo::fakes::FakeTrap t;
        {
            class_Elastic e(t.trap);
            QCOMPARE(e.DoNotResizeTag(), QString());
            e.setDoNotResizeTag("keep me");
            QCOMPARE(e.DoNotResizeTag(), "keep me");
            e.setDoNotResizeTag("");
            QCOMPARE(e.DoNotResizeTag(), QString());
        }
        const auto run = [&](const QString* tag) {
            class_Elastic e(t.trap);
            if (tag)
                e.setDoNotResizeTag(*tag);
            FakeControl c = FakeControl::box(100, 100, 100, 100, 8);
            c.props["tag"] = 1;
            FakeForm f = windowOf({c});
            record(e, f);
            f.h = 8000;
            e.FormResize(f);
            return f.writes;
        };
        const QString tag = "1";
        QCOMPARE(run(&tag), run(nullptr));
        QVERIFY(t.reporter.texts.isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestClassElastic)
#include "tst_class_Elastic.moc"
