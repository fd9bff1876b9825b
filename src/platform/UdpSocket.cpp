#include "platform/UdpSocket.h"

#include "errors/RuntimeError.h"
#include "protocol/DottedDecimal.h"

#include <QFile>
#include <QNetworkInterface>
#include <QUdpSocket>

#include <limits>

namespace korvo::platform {

namespace {

std::int32_t numberFor(QAbstractSocket::SocketError error)
{
    switch (error) {
    case QAbstractSocket::SocketAccessError: return socketerr::AccessDenied;
    case QAbstractSocket::TemporaryError: return socketerr::WouldBlock;
    case QAbstractSocket::DatagramTooLargeError: return socketerr::MessageTooLong;
    case QAbstractSocket::UnsupportedSocketOperationError: return socketerr::AddressFamily;
    case QAbstractSocket::AddressInUseError: return socketerr::AddressInUse;
    case QAbstractSocket::SocketAddressNotAvailableError: return socketerr::AddressNotAvailable;
    case QAbstractSocket::RemoteHostClosedError: return socketerr::ConnectionReset;
    case QAbstractSocket::SocketResourceError: return socketerr::NoBuffers;
    case QAbstractSocket::ConnectionRefusedError: return socketerr::ConnectionRefused;
    case QAbstractSocket::HostNotFoundError: return socketerr::HostNotFound;
    // Qt reports an unreachable network or host, and any other failed sendto(), as NetworkError.
    default: return socketerr::NetworkUnreachable;
    }
}

[[noreturn]] void raiseFrom(const QUdpSocket& socket)
{
    errors::raise(numberFor(socket.error()), socket.errorString());
}

constexpr unsigned kRouteUp = 0x0001; // RTF_UP

} // namespace

QString defaultRouteInterface(const QByteArray& procNetRoute)
{
    // Columns: Iface Destination Gateway Flags RefCnt Use Metric Mask ...; the first line is the header.
    QString best;
    unsigned bestMetric = std::numeric_limits<unsigned>::max();
    const QList<QByteArray> lines = procNetRoute.split('\n');
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QList<QByteArray> cols = lines.at(i).simplified().split(' ');
        if (cols.size() < 8)
            continue;
        bool flagsOk = false;
        bool metricOk = false;
        const unsigned flags = cols.at(3).toUInt(&flagsOk, 16);
        const unsigned metric = cols.at(6).toUInt(&metricOk, 10);
        if (!flagsOk || !metricOk || (flags & kRouteUp) == 0)
            continue;
        if (cols.at(1) != "00000000" || cols.at(7) != "00000000")
            continue;
        if (best.isEmpty() || metric < bestMetric) {
            best = QString::fromLatin1(cols.at(0));
            bestMetric = metric;
        }
    }
    return best;
}

UdpSocket::UdpSocket() = default;
UdpSocket::~UdpSocket() = default;

void UdpSocket::setProtocol(std::int32_t protocol)
{
    if (protocol != kUdp)
        errors::raise(socketerr::InvalidPropertyValue);
}

void UdpSocket::setRemoteHost(const QString& host)
{
    m_hostText = host;
    const std::optional<std::uint32_t> address = protocol::parseDottedDecimal(host);
    m_host = address ? std::optional<QHostAddress>(QHostAddress(*address)) : std::nullopt;
}

void UdpSocket::setRemotePort(std::int32_t port)
{
    if (port < 0 || port > 65535)
        errors::raise(socketerr::InvalidPropertyValue);
    m_port = static_cast<quint16>(port);
}

void UdpSocket::sendData(const QString& text)
{
    if (!m_host)
        errors::raise(socketerr::HostNotFound, QStringLiteral("Host not found: \"%1\"").arg(m_hostText));
    if (m_port == 0)
        errors::raise(socketerr::AddressNotAvailable, QStringLiteral("No remote port"));

    if (!m_socket) {
        // An IPv4 socket of its own, so broadcast destinations are plain IPv4 broadcasts (Qt switches
        // SO_BROADCAST on for UDP sockets) and no IPv6 support is needed.
        auto socket = std::make_unique<QUdpSocket>();
        if (!socket->bind(QHostAddress(QHostAddress::AnyIPv4), 0))
            raiseFrom(*socket);
        m_socket = std::move(socket);
    }

    const QByteArray payload = text.toLatin1();
    if (m_socket->writeDatagram(payload, *m_host, m_port) < 0)
        raiseFrom(*m_socket);
}

QString UdpSocket::localIp() const
{
    const auto firstIPv4 = [](const QNetworkInterface& iface) -> QString {
        for (const QNetworkAddressEntry& entry : iface.addressEntries()) {
            const QHostAddress ip = entry.ip();
            if (ip.protocol() == QAbstractSocket::IPv4Protocol && !ip.isLoopback())
                return ip.toString();
        }
        return {};
    };

    QFile routes(QStringLiteral("/proc/net/route"));
    if (routes.open(QIODevice::ReadOnly)) {
        const QString name = defaultRouteInterface(routes.readAll());
        if (!name.isEmpty()) {
            const QNetworkInterface iface = QNetworkInterface::interfaceFromName(name);
            if (iface.isValid()) {
                if (QString ip = firstIPv4(iface); !ip.isEmpty())
                    return ip;
            }
        }
    }

    for (const QNetworkInterface& iface : QNetworkInterface::allInterfaces()) {
        const auto flags = iface.flags();
        if (!flags.testFlag(QNetworkInterface::IsUp) || flags.testFlag(QNetworkInterface::IsLoopBack))
            continue;
        if (QString ip = firstIPv4(iface); !ip.isEmpty())
            return ip;
    }
    return QStringLiteral("127.0.0.1");
}

} // namespace korvo::platform
