#pragma once

#include <QHostAddress>
#include <QString>

#include <optional>

namespace korvo::display {

/// An IPv4 address in dotted form as the clock's operator writes it: four decimal parts 0..255,
/// leading zeros allowed and not octal ("192.168.000.010" is 192.168.0.10). Anything else: nullopt.
[[nodiscard]] std::optional<QHostAddress> parseIPv4(const QString& text);

} // namespace korvo::display
