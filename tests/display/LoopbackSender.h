#pragma once

#include <QHostAddress>
#include <QUdpSocket>
#include <QtTest>

/// A port that was free a moment ago: bound and released again.
inline quint16 freeUdpPort()
{
    QUdpSocket probe;
    if (!probe.bind(QHostAddress::AnyIPv4, 0))
        return 0;
    return probe.localPort();
}

/// Sends datagrams the way a clock would, but only on loopback.
class LoopbackSender
{
public:
    explicit LoopbackSender(const QHostAddress& from = QHostAddress::LocalHost)
    {
        m_bound = m_socket.bind(from, 0);
    }

    [[nodiscard]] bool isBound() const { return m_bound; }

    bool send(const QByteArray& payload, quint16 port, const QHostAddress& to = QHostAddress::LocalHost)
    {
        return m_socket.writeDatagram(payload, to, port) == payload.size();
    }

private:
    QUdpSocket m_socket;
    bool m_bound = false;
};

/// The loopback network's broadcast address: reaches every socket bound to the port on this host and
/// never leaves it.
inline const QHostAddress kLoopbackBroadcast{QStringLiteral("127.255.255.255")};
