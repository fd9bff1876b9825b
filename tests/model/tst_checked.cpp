#include "errors/RuntimeError.h"
#include "model/Checked.h"

#include <QTest>

#include <cstdint>
#include <functional>
#include <limits>

using namespace korvo::model;
using korvo::errors::RuntimeError;

namespace {

using Calculation = std::function<std::int64_t()>;

constexpr int kNoError = 0;

/// The value of a calculation, or the number of the error it raised.
struct Outcome
{
    std::int64_t value = 0;
    int error = kNoError;
};

Outcome run(const Calculation& calculation)
{
    try {
        return {calculation(), kNoError};
    } catch (const RuntimeError& e) {
        return {0, e.number()};
    }
}

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

} // namespace

Q_DECLARE_METATYPE(Calculation)

class TestChecked final : public QObject
{
    Q_OBJECT

private slots:
    void arithmetic_data();
    void arithmetic();
    void textTo16_data();
    void textTo16();
    void leadingNumber_data();
    void leadingNumber();
    void format_data();
    void format();
};

void TestChecked::arithmetic_data()
{
    QTest::addColumn<Calculation>("calculation");
    QTest::addColumn<qint64>("value");
    QTest::addColumn<int>("error");

    const auto row = [](const char* name, Calculation c, qint64 value, int error = kNoError) {
        QTest::newRow(name) << std::move(c) << value << error;
    };
    constexpr int overflow = 6;
    constexpr std::int32_t int32Max = std::numeric_limits<std::int32_t>::max();
    constexpr std::int32_t int32Min = std::numeric_limits<std::int32_t>::min();

    row("add16 past top", [] { return add16(32767, 1); }, 0, overflow);
    row("add16 past bottom", [] { return add16(-32768, -1); }, 0, overflow);
    row("sub16 past bottom", [] { return sub16(-32768, 1); }, 0, overflow);
    row("sub16 negating bottom", [] { return sub16(0, -32768); }, 0, overflow);
    row("mul16 546 minutes", [] { return mul16(546, 60); }, 32760);
    row("mul16 547 minutes", [] { return mul16(547, 60); }, 0, overflow);
    row("mul16 -546 minutes", [] { return mul16(-546, 60); }, -32760);
    row("mul16 -547 minutes", [] { return mul16(-547, 60); }, 0, overflow);
    row("mul16 bottom times -1", [] { return mul16(-32768, -1); }, 0, overflow);
    row("add32 past top", [] { return add32(int32Max, 1); }, 0, overflow);
    row("sub32 past bottom", [] { return sub32(int32Min, 1); }, 0, overflow);
    row("sub32 wide difference", [] { return sub32(32819, -32760); }, 65579);
    row("mul32 bottom", [] { return mul32(-65536, 32768); }, int32Min);
    row("mul32 past top", [] { return mul32(65536, 32768); }, 0, overflow);
    row("narrow16 past top", [] { return narrow16(32768); }, 0, overflow);
    row("narrow32 past bottom", [] { return narrow32(std::int64_t{int32Min} - 1); }, 0, overflow);

    row("round 2.5 to even", [] { return roundTo16(2.5); }, 2);
    row("round 3.5 to even", [] { return roundTo16(3.5); }, 4);
    row("round -2.5 to even", [] { return roundTo16(-2.5); }, -2);
    row("round 0.5 to even", [] { return roundTo16(0.5); }, 0);
    row("round just below half", [] { return roundTo16(2.4999); }, 2);
    row("round 32767.5 overflows", [] { return roundTo16(32767.5); }, 0, overflow);
    row("round -32768.5 to even fits", [] { return roundTo16(-32768.5); }, -32768);
    row("round -32768.6 overflows", [] { return roundTo16(-32768.6); }, 0, overflow);
    row("round NaN", [] { return roundTo16(kNaN); }, 0, overflow);
    row("round32 top half", [] { return roundTo32(2147483646.5); }, 2147483646);
    row("round32 past top", [] { return roundTo32(2147483647.5); }, 0, overflow);
    row("round32 bottom half", [] { return roundTo32(-2147483648.5); }, int32Min);
    row("floor -0.5", [] { return floorTo16(-0.5); }, -1);
    row("floor -546.01", [] { return floorTo16(-546.01); }, -547);
    row("floor -32768.1 overflows", [] { return floorTo16(-32768.1); }, 0, overflow);
}

void TestChecked::arithmetic()
{
    QFETCH(Calculation, calculation);
    QFETCH(qint64, value);
    QFETCH(int, error);
    const Outcome outcome = run(calculation);
    QCOMPARE(outcome.error, error);
    QCOMPARE(outcome.value, value);
}

void TestChecked::textTo16_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("value");
    QTest::addColumn<int>("error");
    constexpr int mismatch = 13;
    QTest::newRow("two digits") << "12" << 12 << kNoError;
    QTest::newRow("leading zero") << "09" << 9 << kNoError;
    QTest::newRow("minus one") << "-1" << -1 << kNoError;
    QTest::newRow("plus sign") << "+3" << 3 << kNoError;
    QTest::newRow("blank in front") << " 7" << 7 << kNoError;
    QTest::newRow("half rounds to even") << "2.5" << 2 << kNoError;
    QTest::newRow("fraction rounds") << ".7" << 1 << kNoError;
    QTest::newRow("exponent") << "1e2" << 100 << kNoError;
    QTest::newRow("digit and colon") << "5:" << 0 << mismatch;
    QTest::newRow("colon and digit") << ":0" << 0 << mismatch;
    QTest::newRow("colon and minus") << ":-" << 0 << mismatch;
    QTest::newRow("sign alone") << "-" << 0 << mismatch;
    QTest::newRow("empty") << "" << 0 << mismatch;
    QTest::newRow("blanks") << "  " << 0 << mismatch;
    QTest::newRow("letter") << "1x" << 0 << mismatch;
    QTest::newRow("blank inside") << "1 2" << 0 << mismatch;
    QTest::newRow("arabic-indic digits") << QString::fromUtf8("\u0661\u0662") << 0 << mismatch;
    QTest::newRow("too large") << "40000" << 0 << 6;
}

void TestChecked::textTo16()
{
    QFETCH(QString, text);
    QFETCH(int, value);
    QFETCH(int, error);
    const Outcome outcome = run([&] { return korvo::model::textTo16(text); });
    QCOMPARE(outcome.error, error);
    QCOMPARE(outcome.value, value);
}

void TestChecked::leadingNumber_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<double>("value");
    QTest::newRow("digit and prompts") << "1__" << 1.0;
    QTest::newRow("prompts only") << "___" << 0.0;
    QTest::newRow("blank in front") << " 12" << 12.0;
    QTest::newRow("minus and letter") << "-5x" << -5.0;
    QTest::newRow("leading zero") << "09" << 9.0;
    QTest::newRow("clock text") << "12:30" << 12.0;
    QTest::newRow("empty") << "" << 0.0;
    QTest::newRow("blank after sign") << "- 5" << -5.0;
    QTest::newRow("blanks between digits") << "1 2" << 12.0;
    QTest::newRow("plus sign") << "+7" << 7.0;
    QTest::newRow("stops at the point") << "3.7" << 3.0;
    QTest::newRow("sign after digits") << "5-3" << 5.0;
}

void TestChecked::leadingNumber()
{
    QFETCH(QString, text);
    QFETCH(double, value);
    QCOMPARE(korvo::model::leadingNumber(text), value);
}

void TestChecked::format_data()
{
    QTest::addColumn<qint64>("value");
    QTest::addColumn<int>("digits");
    QTest::addColumn<QString>("text");
    QTest::newRow("00 five") << qint64{5} << 2 << "05";
    QTest::newRow("00 minus one") << qint64{-1} << 2 << "-01";
    QTest::newRow("00 hundred twenty-five") << qint64{125} << 2 << "125";
    QTest::newRow("00 minus 546") << qint64{-546} << 2 << "-546";
    QTest::newRow("00 lowest") << std::numeric_limits<qint64>::min() << 2 << "-9223372036854775808";
    QTest::newRow("000 one") << qint64{1} << 3 << "001";
    QTest::newRow("000 192") << qint64{192} << 3 << "192";
    QTest::newRow("000 minus five") << qint64{-5} << 3 << "-005";
}

void TestChecked::format()
{
    QFETCH(qint64, value);
    QFETCH(int, digits);
    QFETCH(QString, text);
    QCOMPARE(digits == 2 ? format00(value) : format000(value), text);
}

QTEST_GUILESS_MAIN(TestChecked)
#include "tst_checked.moc"
