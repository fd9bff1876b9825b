#pragma once

#include <QString>

#include <cstdint>

namespace korvo::platform {

/// A send-only datagram socket: protocol, destination host and port, send, and the machine's own address.
class DatagramSocket
{
public:
    static constexpr std::int32_t kUdp = 1;

    virtual ~DatagramSocket() = default;
    virtual void setProtocol(std::int32_t protocol) = 0;
    /// Dotted decimal; leading zeros never change a value ("010.000.000.255" is 10.0.0.255).
    virtual void setRemoteHost(const QString& host) = 0;
    virtual void setRemotePort(std::int32_t port) = 0;
    /// Exactly one datagram of the text's ASCII bytes, no terminator. Raises a RuntimeError on failure.
    virtual void sendData(const QString& text) = 0;
    /// The IPv4 address of the interface holding the default route, else the first non-loopback IPv4
    /// address, else 127.0.0.1, as dotted text.
    [[nodiscard]] virtual QString localIp() const = 0;
};

} // namespace korvo::platform
