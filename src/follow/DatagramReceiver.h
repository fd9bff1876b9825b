#pragma once

#include "protocol/DatagramParser.h"

#include <QByteArray>
#include <QHostAddress>
#include <QObject>
#include <QString>

#include <optional>

class QUdpSocket;

namespace korvo::follow {

/// Listens for the clock's datagrams and sorts them into time, pause and rejected.
/// Binds with address sharing so that several displays on one host all receive the broadcasts.
class DatagramReceiver final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(DatagramReceiver)

public:
    struct Options
    {
        quint16 port = 0;
        QHostAddress bindAddress{QHostAddress::AnyIPv4};
        /// When set, datagrams from any other sender are ignored (counted, never parsed).
        std::optional<QHostAddress> source;
    };

    explicit DatagramReceiver(Options options, QObject* parent = nullptr);
    ~DatagramReceiver() override;

    /// Binds the socket; on failure errorString() says why and nothing will arrive. It may be called again
    /// after a failure, e.g. once the program that held the port has let it go.
    bool listen();
    [[nodiscard]] bool isListening() const;
    [[nodiscard]] QString errorString() const;
    /// The port asked for, or after listen() the one bound (differs only when 0 was asked for).
    [[nodiscard]] quint16 port() const;

    [[nodiscard]] int acceptedCount() const { return m_accepted; }
    [[nodiscard]] int rejectedCount() const { return m_rejected; }
    [[nodiscard]] int ignoredCount() const { return m_ignored; }

signals:
    /// `payload` is the datagram exactly as it arrived.
    void timeReceived(const korvo::protocol::TimeDatagram& time, const QByteArray& payload, const QHostAddress& sender);
    void pauseReceived(const QByteArray& payload, const QHostAddress& sender);
    void datagramRejected(korvo::protocol::Rejection why, const QByteArray& payload, const QHostAddress& sender);
    void datagramIgnored(const QByteArray& payload, const QHostAddress& sender);

private:
    void readPending();
    void dispatch(const QByteArray& payload, const QHostAddress& sender);

    Options m_options;
    QUdpSocket* m_socket;
    int m_accepted = 0;
    int m_rejected = 0;
    int m_ignored = 0;
};

} // namespace korvo::follow
