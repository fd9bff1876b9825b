#include "settings/PeriodScript.h"

#include <QStringDecoder>

namespace korvo::settings::PeriodScript {

namespace {

QString decode(const QByteArray& bytes)
{
    // The decoder drops a leading byte-order mark by itself.
    QStringDecoder utf8(QStringDecoder::Utf8, QStringConverter::Flag::Stateless);
    QString text = utf8.decode(bytes);
    if (!utf8.hasError())
        return text;
    // Files from older tools carry single-byte text; Latin-1 maps every byte to a character of its own.
    return QString::fromLatin1(bytes);
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
    for (; i + 1 < count; i += 2)
        file.rows.push_back({all[i], all[i + 1]});
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
