#include "settings/NetworkAddress.h"

#include "errors/RuntimeError.h"
#include "model/CheckedArithmetic.h"

#include <algorithm>

namespace korvo::settings {

namespace {

bool isPlainNumber(const QString& text)
{
    // Up to 18 digits always fit the formatting's 64-bit range.
    const auto digit = [](QChar c) { return c >= QLatin1Char('0') && c <= QLatin1Char('9'); };
    return !text.isEmpty() && text.size() <= 18 && std::all_of(text.cbegin(), text.cend(), digit);
}

/// The number read from the three places of field 0 … 3 of a dotted text such as the box's.
qint64 fieldValue(const QString& text, int field)
{
    const qsizetype start = std::min(qsizetype{4} * field, text.size());
    return static_cast<qint64>(model::leadingNumber(QStringView(text).mid(start, 3)));
}

} // namespace

QString proposedNetwork(const QStringList& localAddressFields)
{
    if (localAddressFields.size() < 3)
        errors::raise(errors::err::SubscriptOutOfRange);
    QStringList fields;
    for (qsizetype i = 0; i < 3; ++i) {
        const QString& field = localAddressFields[i];
        fields.append(isPlainNumber(field) ? model::format000(field.toLongLong()) : field);
    }
    return fields.join(QLatin1Char('.'));
}

QString broadcastAddress(const QString& boxText)
{
    const QString full = boxText + QStringLiteral(".255");
    QStringList fields;
    for (int field = 0; field < 4; ++field)
        fields.append(QString::number(fieldValue(full, field)));
    return fields.join(QLatin1Char('.'));
}

int fieldOver255(const QString& boxText)
{
    for (int field = 0; field < 3; ++field)
        if (fieldValue(boxText, field) > 255)
            return field + 1;
    return 0;
}

void checkAddressBoxText(const QString& text)
{
    bool fits = text.size() == 11;
    for (qsizetype i = 0; fits && i < text.size(); ++i) {
        const QChar c = text[i];
        fits = (i == 3 || i == 7) ? c == QLatin1Char('.')
                                  : (c >= QLatin1Char('0') && c <= QLatin1Char('9')) || c == QLatin1Char('_');
    }
    if (!fits)
        errors::raise(errors::err::InvalidPropertyValue);
}

} // namespace korvo::settings
