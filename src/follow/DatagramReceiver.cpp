#include "follow/DatagramReceiver.h"

#include <QNetworkDatagram>
#include <QUdpSocket>

#include <string_view>
#include <type_traits>

namespace korvo::follow {

using namespace protocol;

DatagramReceiver::DatagramReceiver(Options options, QObject* parent)
    : QObject(parent), m_options(std::move(options)), m_socket(new QUdpSocket(this))
{
    connect(m_socket, &QUdpSocket::readyRead, this, &DatagramReceiver::readPending);
}

DatagramReceiver::~DatagramReceiver() = default;

bool DatagramReceiver::listen()
{
    // ShareAddress|ReuseAddressHint is SO_REUSEADDR: every socket bound to the port gets its own copy of
    // a broadcast, which is what lets two displays run side by side on one machine.
    return m_socket->bind(m_options.bindAddress, m_options.port,
                          QAbstractSocket::ShareAddress | QAbstractSocket::ReuseAddressHint);
}

bool DatagramReceiver::isListening() const
{
    return m_socket->state() == QAbstractSocket::BoundState;
}

QString DatagramReceiver::errorString() const
{
    return m_socket->errorString();
}

quint16 DatagramReceiver::port() const
{
    return isListening() ? m_socket->localPort() : m_options.port;
}

void DatagramReceiver::readPending()
{
    // Drain the whole queue in one pass rather than one event-loop round per datagram, so a burst
    // cannot lag behind the clock.
    while (m_socket->hasPendingDatagrams()) {
        const QNetworkDatagram datagram = m_socket->receiveDatagram();
        if (!datagram.isValid())
            break;
        dispatch(datagram.data(), datagram.senderAddress());
    }
}

void DatagramReceiver::dispatch(const QByteArray& payload, const QHostAddress& sender)
{
    if (m_options.source && !sender.isEqual(*m_options.source, QHostAddress::TolerantConversion)) {
        ++m_ignored;
        emit datagramIgnored(payload, sender);
        return;
    }
    const Datagram parsed =
        parseDatagram(std::string_view(payload.constData(), static_cast<std::size_t>(payload.size())));
    std::visit(
        [&](const auto& d) {
            using T = std::decay_t<decltype(d)>;
            if constexpr (std::is_same_v<T, TimeDatagram>) {
                ++m_accepted;
                emit timeReceived(d, payload, sender);
            } else if constexpr (std::is_same_v<T, PauseDatagram>) {
                ++m_accepted;
                emit pauseReceived(payload, sender);
            } else {
                ++m_rejected;
                emit datagramRejected(d.why, payload, sender);
            }
        },
        parsed);
}

} // namespace korvo::follow
