#include "settings/PeriodScript.h"

#include "model/PeriodRec.h"

#include <QStringDecoder>

namespace korvo::settings::PeriodScript {

namespace {

/// Windows-1252 at 0x80 … 0x9F, where it differs from Latin-1; its five undefined bytes keep their Latin-1
/// meaning.
constexpr char16_t kWindows1252[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

QString decode(const QByteArray& bytes)
{
    // The decoder drops a leading byte-order mark by itself.
    QStringDecoder utf8(QStringDecoder::Utf8, QStringConverter::Flag::Stateless);
    QString text = utf8.decode(bytes);
    if (!utf8.hasError())
        return text;
    // Files from older tools carry single-byte text, mostly written on Windows PCs: euro signs, curly quotes
    // and dashes come as 0x80 … 0x9F. Every byte still maps to a character of its own.
    text = QString::fromLatin1(bytes);
    for (QChar& c : text)
        if (c.unicode() >= 0x80 && c.unicode() <= 0x9F)
            c = QChar(kWindows1252[c.unicode() - 0x80]);
    return text;
}

std::optional<RowFault> faultOf(const QString& legend, const QString& time)
{
    if (legend.isEmpty() && time.isEmpty())
        return RowFault::Empty;
    if (legend.size() > kMaxCellLength || time.size() > kMaxCellLength)
        return RowFault::TooLong;
    if (!model::isLegendText(legend))
        return RowFault::ControlCharacter;
    return std::nullopt;
}

} // namespace

QStringList lines(const QByteArray& bytes)
{
    const QString text = decode(bytes);
    QStringList result;
    qsizetype start = 0;
    const qsizetype size = text.size();
    for (qsizetype i = 0; i < size; ++i) {
        const QChar c = text[i];
        if (c != QLatin1Char('\r') && c != QLatin1Char('\n'))
            continue;
        result.append(text.mid(start, i - start));
        if (c == QLatin1Char('\r') && i + 1 < size && text[i + 1] == QLatin1Char('\n'))
            ++i;
        start = i + 1;
    }
    // A last line without its terminator still counts.
    if (start < size)
        result.append(text.mid(start));
    return result;
}

PeriodFile read(const QByteArray& bytes)
{
    const QStringList all = lines(bytes);
    // Editors like to end a file with empty lines; they are no periods. But the writer ends a file whose
    // last time is empty with an empty line, and that one belongs to the last legend.
    qsizetype count = all.size();
    while (count > 0 && all[count - 1].isEmpty())
        --count;
    if (count < all.size() && count >= 2 && (count - 1) % 2 == 1)
        ++count;

    PeriodFile file;
    if (count == 0)
        return file;
    if (all.front() == QLatin1String(kTimePass))
        file.direction = Direction::Pass;
    else if (all.front() == QLatin1String(kTimeLeft))
        file.direction = Direction::Left;
    qsizetype i = 1;
    file.rows.reserve(static_cast<std::size_t>((count - 1) / 2));
    for (; i + 1 < count; i += 2) {
        if (const std::optional<RowFault> fault = faultOf(all[i], all[i + 1]))
            file.leftOut.push_back({i + 1, *fault});
        else
            file.rows.push_back({all[i], all[i + 1]});
    }
    file.incomplete = i < count;
    return file;
}

QByteArray write(Direction direction, const std::vector<PeriodRow>& rows)
{
    static const QString crlf = QStringLiteral("\r\n");
    QString text = QLatin1String(direction == Direction::Pass ? kTimePass : kTimeLeft) + crlf;
    for (const PeriodRow& row : rows)
        text += row.legend + crlf + row.time + crlf;
    return text.toUtf8();
}

} // namespace korvo::settings::PeriodScript
