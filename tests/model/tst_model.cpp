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

using namespace korvo::model;
using korvo::errors::Procedure;
using korvo::errors::RuntimeError;
using korvo::errors::Trap;
using korvo::fakes::FakeTrap;

namespace {

using Conversion = std::function<QString(Trap&)>;
constexpr std::int32_t kInt32Max = std::numeric_limits<std::int32_t>::max();

template <class T>
QString text(const T& value)
{
    if constexpr (std::is_same_v<T, QString>)
        return value;
    else
        return QString::number(value);
}

PERIOD_REC period(int minutes, int seconds)
{
    return PERIOD_REC{"Q", minutes < 0 ? kTrue : kFalse, static_cast<std::int16_t>(minutes),
                      static_cast<std::int16_t>(seconds)};
}

} // namespace

class TestModel final : public QObject
{
    Q_OBJECT

private slots:
    // The result, or "error n" for an error raised; then "; error n in procedure" for each report. After a
    // report the failing step is ignored and leaves its number at 0.
    void conversions_data()
    {
        QTest::addColumn<Conversion>("conversion");
        QTest::addColumn<QString>("expected");
        const auto row = [](const QString& name, auto f, const char* expected) {
            QTest::newRow(qPrintable(name)) << Conversion([f](Trap& t) { return text(f(t)); }) << QString(expected);
        };
        row("add32 past the top", [](Trap&) { return add32(kInt32Max, 1); }, "error 6");
        row("round 2.5 to even", [](Trap&) { return roundTo16(2.5); }, "2");
        row("round 3.5 to even", [](Trap&) { return roundTo16(3.5); }, "4");
        row("round 32767.5 overflows", [](Trap&) { return roundTo16(32767.5); }, "error 6");
        row("round -32768.5 fits", [](Trap&) { return roundTo16(-32768.5); }, "-32768");
        row("round NaN", [](Trap&) { return roundTo16(std::numeric_limits<double>::quiet_NaN()); }, "error 6");
        row("text exponent", [](Trap&) { return textTo16(u"1e2"); }, "100");
        row("text blank inside", [](Trap&) { return textTo16(u"1 2"); }, "error 13");
        row("text arabic-indic digits", [](Trap&) { return textTo16(u"\u0661\u0662"); }, "error 13");
        row("text too large", [](Trap&) { return textTo16(u"40000"); }, "error 6");
        row("leading: digit and prompts", [](Trap&) { return leadingNumber(u"1__"); }, "1");
        row("leading: blank after sign", [](Trap&) { return leadingNumber(u"- 5"); }, "-5");
        row("leading: blanks between digits", [](Trap&) { return leadingNumber(u" 1 2"); }, "12");
        row("leading: sign after digits", [](Trap&) { return leadingNumber(u"5-3"); }, "5");
        row("00: minus one", [](Trap&) { return format00(-1); }, "-01");
        row("00: lowest", [](Trap&) { return format00(std::numeric_limits<qint64>::min()); }, "-9223372036854775808");
        row("000: minus five", [](Trap&) { return format000(-5); }, "-005");
        for (const auto& [seconds, expected] :
             {std::pair{32819, "546:59"}, {-1, "-01:59"}, {-32760, "-546:00"},
              {32820, "547:00; error 6 in common.SEC2TIME"},
              {-32761, "-547:00; error 6 in common.SEC2TIME"},
              {kInt32Max, "00:00; error 6 in common.SEC2TIME; error 6 in common.SEC2TIME"}}) // minutes beyond 16 bits
            row(QString("SEC2TIME %1").arg(seconds), [s = seconds](Trap& t) { return common::SEC2TIME(t, s); },
                expected);
        // The start rule on the second period of a set: "PERIOD_SECONDS CUR_SECONDS". Two characters each of
        // minutes and seconds are read, the third is not examined.
        for (const auto& [minutes, seconds, mode, expected] :
             {std::tuple{10, 0, COUNT_DOWN, "600 600"}, {10, 0, 3, "600 0"}, {1, -25, COUNT_DOWN, "58 58"},
              {100, 0, COUNT_DOWN, "600 600; error 13 in common.TIME2SEC"}, // "10" and "0:"
              {-1, -1, COUNT_DOWN, "0 0; error 13 in common.TIME2SEC"}}) { // not asked yet
            row(QString("start %1:%2 mode %3").arg(minutes).arg(seconds).arg(mode),
                [=](Trap& t) {
                    ClockModel model;
                    model.applySet({period(1, 1), period(minutes, seconds)}, mode, QString());
                    model.CUR_PERIOD = 2;
                    model.CUR_SECONDS = 999;
                    Procedure p(t, "frmMAIN", "cmdNEXTPERIOD_Click");
                    startPeriod(p, model, 120);
                    return QStringLiteral("%1 %2").arg(model.PERIOD_SECONDS).arg(model.CUR_SECONDS);
                },
                expected);
        }
    }
    void conversions()
    {
        QFETCH(Conversion, conversion);
        QFETCH(QString, expected);
        FakeTrap t;
        QString actual;
        try {
            actual = conversion(t.trap);
        } catch (const RuntimeError& e) {
            actual = QStringLiteral("error %1").arg(e.number());
        }
        static const QRegularExpression report(R"(^Error (\d+)\r\n.+\r\nLocation: KorvoTimer\.(\S+)\r\nLine \d+$)");
        for (const QString& r : t.reporter.texts)
            actual += "; " + QString(r).replace(report, R"(error \1 in \2)");
        QCOMPARE(actual, expected);
    }

    void currentRecord()
    {
        // Without a set, the start rule's reading of the current record fails at the caller's line.
        FakeTrap t;
        ClockModel model;
        model.TIME_MODE = COUNT_DOWN;
        model.PERIOD_SECONDS = 42;
        Procedure p(t.trap, "frmMAIN", "cmdSETTING_Click");
        startPeriod(p, model, 55);
        QCOMPARE(t.reporter.texts, QStringList{"Error 9\r\nSubscript out of range\r\nLocation: "
                                               "KorvoTimer.frmMAIN.cmdSETTING_Click\r\nLine 55"});
        QCOMPARE(model.PERIOD_SECONDS, 42); // the failing step assigned nothing
        QCOMPARE(model.CUR_SECONDS, 42);    // the next step of the rule still ran

        // Entry 0 exists; a number outside the list is error 9.
        for (const auto& [count, current, error] : {std::tuple{2, 0, 0}, {2, 2, 0}, {2, 3, 9}, {2, -1, 9}, {0, 1, 9}}) {
            model.applySet(std::vector<PERIOD_REC>(static_cast<std::size_t>(count), period(1, 0)), COUNT_UP, "");
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
