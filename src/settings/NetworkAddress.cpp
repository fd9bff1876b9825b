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
    for (qsizetype start = 0; start <= 12; start += 4) {
        const double value = model::leadingNumber(QStringView(full).mid(std::min(start, full.size()), 3));
        fields.append(QString::number(static_cast<qint64>(value)));
    }
    return fields.join(QLatin1Char('.'));
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
