#pragma once

#include <QString>
#include <QStringList>

namespace korvo::settings {

/// The address box's text when the operator has entered no digit.
inline constexpr const char* kUntouchedAddress = "___.___.___";

/// The network proposed in the address box: the first three fields of the machine's dotted address,
/// each written with at least three digits, joined by "." ({"10","0","0","7"} → "010.000.000").
/// A field that is not a plain number is kept as it is. Error 9 when there are fewer than three fields.
[[nodiscard]] QString proposedNetwork(const QStringList& localAddressFields);

/// The broadcast address from the address box's eleven-character text and the fixed last field 255:
/// each field is read up to its first character that is not part of a number, and written without
/// leading zeros ("192.168.001" → "192.168.1.255", "1__.___.___" → "1.0.0.255"). Fields are not
/// limited to 0 … 255.
[[nodiscard]] QString broadcastAddress(const QString& boxText);

/// The first of the box's three fields (1 … 3) whose number, read as broadcastAddress reads it, is over
/// 255; 0 when every field is a byte.
[[nodiscard]] int fieldOver255(const QString& boxText);

/// Error 380 unless text has the box's form: eleven characters, "." in places 4 and 8, digits or "_"
/// elsewhere.
void checkAddressBoxText(const QString& text);

} // namespace korvo::settings
