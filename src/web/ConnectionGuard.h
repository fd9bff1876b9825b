#pragma once

#include <QTcpServer>

#include <chrono>
#include <list>

class QTcpSocket;

namespace korvo::web {

/// What the web server lets its clients cost it.
struct Limits
{
    /// Connections open at once, live pages included.
    int maxConnections = 512;
    /// A connection that has had no answer for this long is closed; a live page that has not answered
    /// a ping for this long is dropped.
    std::chrono::seconds idleTimeout{15};
};

/// The web server's listening socket, which keeps every connection within Limits before the HTTP
/// library sees it. Qt HttpServer 6.4 has no limits of its own: it accepts any number of connections,
/// keeps idle ones forever and buffers request headers and bodies of any size.
///
/// When all connections are taken, the connection that has been silent longest since its last answer makes
/// room (one still waiting for its answer only when no connection is silent); live pages are never pushed
/// out, and a newcomer finding only live pages is turned away.
class ConnectionGuard final : public QTcpServer
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ConnectionGuard)

public:
    /// Bytes a client may send without getting an answer. A browser's request is well under 2 KiB.
    static constexpr qint64 kMaxRequestBytes = 16 * 1024;
    /// The kernel's send buffer of each connection: it bounds what a client that stops reading holds
    /// in the kernel, and is ample for the pages and the live updates.
    static constexpr int kSendBufferBytes = 64 * 1024;

    explicit ConnectionGuard(Limits limits, QObject* parent = nullptr);
    ~ConnectionGuard() override;

    /// The connection has become a live page: from now on its owner watches it.
    void markLive(QTcpSocket* socket);
    [[nodiscard]] int openCount() const { return static_cast<int>(m_watches.size()); }

signals:
    void opened(const QString& peer, int open);
    /// `why` is empty when the client left by itself.
    void closed(const QString& peer, int open, const QString& why);

protected:
    void incomingConnection(qintptr descriptor) override;

private:
    class Watch;
    void forget(Watch* watch, const QString& why);
    bool makeRoom();

    Limits m_limits;
    std::list<Watch*> m_watches; ///< in the order the connections opened
};

/// "192.168.0.7:51234", with an IPv4 client on a dual-stack socket shown as IPv4.
[[nodiscard]] QString peerName(const QHostAddress& address, quint16 port);

} // namespace korvo::web
