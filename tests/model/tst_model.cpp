#include "errors/Procedure.h"
#include "errors/RuntimeError.h"
#include "model/CheckedArithmetic.h"
#include "model/ClockModel.h"
#include "model/TimeText.h"
#include "support/FakeErrors.h"

#include <QRegularExpression>
#include <QTest>

#include <functional>
#include <limits>
#include <tuple>
#include <type_traits>

using namespace korvo::model;
using korvo::errors::Procedure;
using korvo::errors::RuntimeError;
using korvo::fakes::FakeTrap;

namespace {

using korvo::errors::Trap;
using Value = std::function<QString()>;
using Conversion = std::function<QString(Trap&)>;
constexpr std::int32_t kInt32Max = std::numeric_limits<std::int32_t>::max();
constexpr std::int32_t kInt32Min = std::numeric_limits<std::int32_t>::min();

template <class T>
QString text(const T& value)
{
    if constexpr (std::is_same_v<T, QString>)
        return value;
    else
        return QString::number(value);
}

PERIOD_REC period(std::int16_t minutes, std::int16_t seconds)
{
    return PERIOD_REC{QStringLiteral("Q"), minutes < 0 ? kTrue : kFalse, minutes, seconds};
}

/// Each report must read "Error n / description / Location: ..." and then the line of the failing step.
void checkReports(const QStringList& reports, int count, const QString& head)
{
    QCOMPARE(reports.size(), count);
    const QRegularExpression pattern(QRegularExpression::escape(head) + QStringLiteral("\r\nLine \\d+$"));
    for (const QString& report : reports)
        QVERIFY2(pattern.match(report).hasMatch(), qPrintable(report));
}

} // namespace

class TestModel final : public QObject
{
    Q_OBJECT

private slots:
    // Checked arithmetic, rounding and number texts: the value, or the error raised.
    void values_data()
    {
        QTest::addColumn<Value>("value");
        QTest::addColumn<QString>("expected");
        const auto row = [](const char* name, auto f, const char* expected) {
            QTest::newRow(name) << Value([f] { return text(f()); }) << expected;
        };
        row("mul16 546 minutes", [] { return mul16(546, 60); }, "32760");
        row("mul16 547 minutes", [] { return mul16(547, 60); }, "error 6");
        row("mul16 bottom times -1", [] { return mul16(-32768, -1); }, "error 6");
        row("add32 past top", [] { return add32(kInt32Max, 1); }, "error 6");
        row("mul32 bottom", [] { return mul32(-65536, 32768); }, "-2147483648");
        row("round 2.5 to even", [] { return roundTo16(2.5); }, "2");
        row("round 3.5 to even", [] { return roundTo16(3.5); }, "4");
        row("round -2.5 to even", [] { return roundTo16(-2.5); }, "-2");
        row("round 32767.5 overflows", [] { return roundTo16(32767.5); }, "error 6");
        row("round -32768.5 to even fits", [] { return roundTo16(-32768.5); }, "-32768");
        row("round NaN", [] { return roundTo16(std::numeric_limits<double>::quiet_NaN()); }, "error 6");
        row("floor -0.5", [] { return floorTo16(-0.5); }, "-1");
        row("text half to even", [] { return textTo16(u"2.5"); }, "2");
        row("text exponent", [] { return textTo16(u"1e2"); }, "100");
        row("text digit and colon", [] { return textTo16(u"5:"); }, "error 13");
        row("text blank inside", [] { return textTo16(u"1 2"); }, "error 13");
        row("text arabic-indic digits", [] { return textTo16(u"\u0661\u0662"); }, "error 13");
        row("text too large", [] { return textTo16(u"40000"); }, "error 6");
        row("leading: digit and prompts", [] { return leadingNumber(u"1__"); }, "1");
        row("leading: prompts only", [] { return leadingNumber(u"___"); }, "0");
        row("leading: blank after sign", [] { return leadingNumber(u"- 5"); }, "-5");
        row("leading: blanks between digits", [] { return leadingNumber(u" 1 2"); }, "12");
        row("leading: stops at the point", [] { return leadingNumber(u"3.7"); }, "3");
        row("leading: sign after digits", [] { return leadingNumber(u"5-3"); }, "5");
        row("00: minus one", [] { return format00(-1); }, "-01");
        row("00: three digits", [] { return format00(125); }, "125");
        row("00: lowest", [] { return format00(std::numeric_limits<qint64>::min()); }, "-9223372036854775808");
        row("000: minus five", [] { return format000(-5); }, "-005");
    }
    void values()
    {
        QFETCH(Value, value);
        QFETCH(QString, expected);
        QString actual;
        try {
            actual = value();
        } catch (const RuntimeError& e) {
            actual = QStringLiteral("error %1").arg(e.number());
        }
        QCOMPARE(actual, expected);
    }

    // After a report the failing step is ignored and leaves its number at 0.
    void timeTexts_data()
    {
        QTest::addColumn<Conversion>("conversion");
        QTest::addColumn<QString>("expected");
        QTest::addColumn<int>("reports");
        QTest::addColumn<QString>("report");
        const QString overflow = QStringLiteral("Error 6\r\nOverflow\r\nLocation: KorvoTimer.common.SEC2TIME");
        const QString mismatch = QStringLiteral("Error 13\r\nType mismatch\r\nLocation: KorvoTimer.common.TIME2SEC");
        const auto sec2time = [&](std::int32_t seconds, const char* expected, int reports = 0) {
            QTest::addRow("SEC2TIME %d", seconds)
                << Conversion([=](Trap& t) { return common::SEC2TIME(t, seconds); }) << expected << reports << overflow;
        };
        const auto time2sec = [&](const char* from, std::int32_t seconds, int reports = 0) {
            const QString given = QString::fromLatin1(from);
            QTest::addRow("TIME2SEC %s", from)
                << Conversion([=](Trap& t) { return text(common::TIME2SEC(t, given)); }) << text(seconds) << reports
                << mismatch;
        };
        // The start rule on the second period of a set: "PERIOD_SECONDS CUR_SECONDS".
        const auto start = [&](std::int16_t minutes, std::int16_t seconds, std::int32_t mode, const char* expected,
                              int reports = 0) {
            QTest::addRow("start %d:%d mode %d", minutes, seconds, mode)
                << Conversion([=](Trap& t) {
                       ClockModel model;
                       model.applySet({period(1, 1), period(minutes, seconds)}, mode, QString());
                       model.CUR_PERIOD = 2;
                       model.CUR_SECONDS = 999;
                       Procedure p(t, "frmMAIN", "cmdNEXTPERIOD_Click");
                       startPeriod(p, model, 120);
                       return QStringLiteral("%1 %2").arg(model.PERIOD_SECONDS).arg(model.CUR_SECONDS);
                   })
                << expected << reports << mismatch;
        };
        for (const auto& [seconds, expected] : {std::pair{0, "00:00"}, {59, "00:59"}, {60, "01:00"}, {6000, "100:00"},
                                                {32819, "546:59"}, {-1, "-01:59"}, {-59, "-01:01"}, {-60, "-01:00"},
                                                {-32760, "-546:00"}})
            sec2time(seconds, expected);
        sec2time(32820, "547:00", 1);
        sec2time(-32761, "-547:00", 1);
        sec2time(kInt32Max, "00:00", 2); // minutes beyond 16 bits
        sec2time(kInt32Min, "00:00", 2);
        time2sec("12x30", 750); // the third character is not examined
        time2sec("-1:-1", -61);
        time2sec(" 5: 7", 307);
        time2sec("100:00", 600, 1);
        time2sec("-01:-01", 0, 1); // not asked yet
        time2sec("12:", 720, 1);
        time2sec("", 0, 2);
        start(10, 0, COUNT_DOWN, "600 600");
        start(10, 0, COUNT_UP, "600 0");
        start(10, 0, 3, "600 0"); // any other direction starts at 0 too
        start(99, 99, COUNT_DOWN, "6039 6039");
        start(0, 150, COUNT_DOWN, "15 15"); // only two characters of the seconds are read
        start(1, -5, COUNT_DOWN, "60 60");
        start(1, -25, COUNT_DOWN, "58 58");
        start(100, 0, COUNT_DOWN, "600 600", 1); // TIME2SEC reports; after Ignore the seconds piece stays 0
        start(-1, -1, COUNT_DOWN, "0 0", 1);     // not asked yet
    }
    void timeTexts()
    {
        QFETCH(Conversion, conversion);
        QFETCH(QString, expected);
        QFETCH(int, reports);
        QFETCH(QString, report);
        FakeTrap t;
        QCOMPARE(conversion(t.trap), expected);
        checkReports(t.reporter.texts, reports, report);
    }

    void applySetAndCurrentRecord()
    {
        // Without a set, the start rule's reading of the current record fails at the caller's line.
        FakeTrap t;
        ClockModel model;
        model.TIME_MODE = COUNT_DOWN;
        model.PERIOD_SECONDS = 42;
        Procedure p(t.trap, "frmMAIN", "cmdSETTING_Click");
        startPeriod(p, model, 55);
        QCOMPARE(t.reporter.texts, QStringList{QStringLiteral("Error 9\r\nSubscript out of range\r\nLocation: "
                                                              "KorvoTimer.frmMAIN.cmdSETTING_Click\r\nLine 55")});
        QCOMPARE(model.PERIOD_SECONDS, 42); // the failing step assigned nothing
        QCOMPARE(model.CUR_SECONDS, 42);    // the next step of the rule still ran

        model.applySet({period(10, 0), period(-1, -1), period(10, 0)}, COUNT_UP, QStringLiteral("1.2.3.255"));
        model.record(2).Minutes = 7; // typed in at Next
        model.CUR_PERIOD = 3;
        model.applySet({period(5, 0), period(-1, -1)}, COUNT_DOWN, QStringLiteral("10.0.0.255"));
        QCOMPARE(model.PERIOD_COUNT, std::int16_t{2});
        QCOMPARE(model.CUR_PERIOD, std::int16_t{1});
        QCOMPARE(model.TIME_MODE, COUNT_DOWN);
        QCOMPARE(model.BROADCAST_IP, QStringLiteral("10.0.0.255"));
        QCOMPARE(*model.PERIODS, (std::vector<PERIOD_REC>{PERIOD_REC{}, period(5, 0), period(-1, -1)}));
        QCOMPARE(model.CUR_SECONDS, 42); // left to the start rule

        for (const auto& [count, current, error] :
             {std::tuple{2, 0, 0}, {2, 2, 0}, {2, 3, 9}, {2, -1, 9}, {2, -32768, 9}, {0, 1, 9}}) {
            model.applySet(std::vector<PERIOD_REC>(static_cast<std::size_t>(count), period(1, 0)), COUNT_UP, QString());
            model.CUR_PERIOD = static_cast<std::int16_t>(current);
            int raised = 0;
            try {
                static_cast<void>(model.currentRecord());
            } catch (const RuntimeError& e) {
                raised = e.number();
            }
            QCOMPARE(raised, error);
        }
    }
};

QTEST_GUILESS_MAIN(TestModel)
#include "tst_model.moc"
