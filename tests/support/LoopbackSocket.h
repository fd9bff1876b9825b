#pragma once

#include "errors/RuntimeError.h"
#include "platform/UdpSocket.h"

#include <QNetworkDatagram>
#include <QTest>
#include <QUdpSocket>

namespace korvo::test {

/// The program's real UDP socket, kept on loopback: the hosts the program gives it are recorded, and every
/// datagram goes to a receiver of this test instead, so that parallel tests never meet on port 7699. A test
/// may choose the local address it reports, and make every send fail.
class LoopbackSocket final : public platform::DatagramSocket
{
public:
    LoopbackSocket()
    {
        QVERIFY(m_receiver.bind(QHostAddress::LocalHost, 0));
        m_real.setRemoteHost(QStringLiteral("127.0.0.1"));
        m_real.setRemotePort(m_receiver.localPort());
    }
    void setProtocol(std::int32_t protocol) override { m_real.setProtocol(protocol); }
    void setRemoteHost(const QString& remote) override { host = remote; }
    void setRemotePort(std::int32_t) override {}
    [[nodiscard]] QString localIp() const override { return localAddress.isEmpty() ? m_real.localIp() : localAddress; }
    void sendData(const QString& text) override
    {
        if (failSends)
            errors::raise(10065, QStringLiteral("No route to host"));
        m_real.sendData(text);
        // Read back at once: each datagram keeps its host, and long runs never fill the receive buffer.
        if (m_receiver.hasPendingDatagrams() || m_receiver.waitForReadyRead(1000))
            m_sent.append(host + QLatin1Char(' ') + QString::fromLatin1(m_receiver.receiveDatagram().data()));
    }
    /// What arrived since the last look, as "host payload".
    QStringList take() { return std::exchange(m_sent, {}); }

    QString host; ///< where the program means the next datagram to go
    QString localAddress;
    bool failSends = false;

private:
    platform::UdpSocket m_real;
    QUdpSocket m_receiver;
    QStringList m_sent;
};

} // namespace korvo::test
