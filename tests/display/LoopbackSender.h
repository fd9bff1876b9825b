#pragma once

#include <QHostAddress>
#include <QUdpSocket>

/// A port that was free a moment ago: bound and released again.
inline quint16 freeUdpPort()
{
    QUdpSocket probe;
    return probe.bind(QHostAddress::AnyIPv4, 0) ? probe.localPort() : quint16{0};
}

/// Broadcasts one datagram the way a clock does, but on loopback's broadcast address: it reaches every
/// socket bound to the port on this host and never leaves it.
inline bool sendOnLoopback(const QByteArray& payload, quint16 port, const QHostAddress& from = QHostAddress(QHostAddress::LocalHost))
{
    QUdpSocket socket;
    return socket.bind(from, 0) &&
           socket.writeDatagram(payload, QHostAddress(QStringLiteral("127.255.255.255")), port) == payload.size();
}
