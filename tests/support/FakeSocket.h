#pragma once

#include "errors/RuntimeError.h"
#include "platform/DatagramSocket.h"

#include <QString>

#include <cstdint>
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
        std::int32_t port = 0;
        QString text;
    };

    void setProtocol(std::int32_t value) override { protocol = value; }
    void setRemoteHost(const QString& host) override { remoteHost = host; }
    void setRemotePort(std::int32_t port) override { remotePort = port; }
    void sendData(const QString& text) override
    {
        if (failSends)
            errors::raise(failNumber, failDescription);
        sent.push_back({remoteHost, remotePort, text});
    }
    [[nodiscard]] QString localIp() const override
    {
        ++localIpReads;
        return localAddress;
    }

    QString localAddress = QStringLiteral("127.0.0.1");
    bool failSends = false;
    std::int32_t failNumber = 10065;
    QString failDescription = QStringLiteral("No route to host");

    std::int32_t protocol = 0;
    QString remoteHost;
    std::int32_t remotePort = 0;
    std::vector<Datagram> sent;
    mutable int localIpReads = 0;
};

} // namespace korvo::fakes
