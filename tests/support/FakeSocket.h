#pragma once

#include "errors/RuntimeError.h"
#include "platform/DatagramSocket.h"

#include <QString>

#include <vector>

namespace korvo::fakes {

/// A socket that sends nothing: it reports the local address the test chooses and records every
/// datagram with the destination it would have gone to. failSends makes every send raise instead.
class FakeSocket final : public platform::DatagramSocket
{
public:
    struct Datagram
    {
        QString host;
        QString text;
    };

    void setProtocol(std::int32_t) override {}
    void setRemoteHost(const QString& host) override { m_host = host; }
    void setRemotePort(std::int32_t) override {}
    void sendData(const QString& text) override
    {
        if (failSends)
            errors::raise(10065, QStringLiteral("No route to host"));
        sent.push_back({m_host, text});
    }
    [[nodiscard]] QString localIp() const override { return localAddress; }

    QString localAddress = QStringLiteral("127.0.0.1");
    bool failSends = false;
    std::vector<Datagram> sent;

private:
    QString m_host;
};

} // namespace korvo::fakes
