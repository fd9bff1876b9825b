#pragma once

#include "errors/RuntimeError.h"
#include "platform/DatagramSocket.h"

#include <QByteArray>
#include <QHostAddress>
#include <QString>
#include <QtGlobal>

#include <cstdint>
#include <memory>
#include <optional>

class QUdpSocket;

namespace korvo::platform {

/// Error numbers a UdpSocket raises; the socket ones follow the Winsock numbering operators know.
namespace socketerr {
inline constexpr std::int32_t InvalidPropertyValue = errors::err::InvalidPropertyValue; ///< protocol not UDP, port not 0..65535
inline constexpr std::int32_t AccessDenied = 10013;       ///< WSAEACCES
inline constexpr std::int32_t WouldBlock = 10035;         ///< WSAEWOULDBLOCK: send buffer full
inline constexpr std::int32_t MessageTooLong = 10040;     ///< WSAEMSGSIZE
inline constexpr std::int32_t AddressFamily = 10047;      ///< WSAEAFNOSUPPORT
inline constexpr std::int32_t AddressInUse = 10048;       ///< WSAEADDRINUSE
inline constexpr std::int32_t AddressNotAvailable = 10049; ///< WSAEADDRNOTAVAIL
inline constexpr std::int32_t NetworkUnreachable = 10051; ///< WSAENETUNREACH: no route, and any other send failure
inline constexpr std::int32_t ConnectionReset = 10054;    ///< WSAECONNRESET
inline constexpr std::int32_t NoBuffers = 10055;          ///< WSAENOBUFS
inline constexpr std::int32_t ConnectionRefused = 10061;  ///< WSAECONNREFUSED
inline constexpr std::int32_t HostNotFound = 11001;       ///< WSAHOST_NOT_FOUND: host text is not dotted decimal
} // namespace socketerr

/// The interface that holds the IPv4 default route, read from the text of /proc/net/route; "" if none.
[[nodiscard]] QString defaultRouteInterface(const QByteArray& procNetRoute);

/// Send-only UDP over QUdpSocket. Sends never block and never resolve names; broadcast destinations work.
/// Errors are RuntimeErrors with the numbers in socketerr and, for a failed send, the socket's error text.
class UdpSocket final : public DatagramSocket
{
    Q_DISABLE_COPY_MOVE(UdpSocket)
public:
    UdpSocket();
    ~UdpSocket() override;

    /// Only kUdp is accepted; anything else raises InvalidPropertyValue and keeps UDP.
    void setProtocol(std::int32_t protocol) override;
    /// Remembered as given; a text that is not dotted decimal raises HostNotFound at the next send.
    void setRemoteHost(const QString& host) override;
    /// 0..65535, else InvalidPropertyValue and the port is unchanged.
    void setRemotePort(std::int32_t port) override;
    void sendData(const QString& text) override;
    [[nodiscard]] QString localIp() const override;

    [[nodiscard]] QString remoteHost() const { return m_hostText; }
    [[nodiscard]] quint16 remotePort() const { return m_port; }

private:
    std::unique_ptr<QUdpSocket> m_socket;
    QString m_hostText;
    std::optional<QHostAddress> m_host;
    quint16 m_port = 0;
};

} // namespace korvo::platform
