#pragma once

#include <QString>

#include <cstdint>
#include <optional>

namespace korvo::protocol {

/// An IPv4 address as the clock's operator writes it: exactly four dot-separated decimal fields
/// 0..255. Leading zeros never make a field octal: "010.000.000.255" is 10.0.0.255. Anything else
/// (names, three fields, signs, blanks) gives nothing. The address comes in host byte order, as
/// QHostAddress(quint32) takes it.
[[nodiscard]] std::optional<std::uint32_t> parseDottedDecimal(const QString& text);

} // namespace korvo::protocol
