#include "web/ConnectionGuard.h"

#include <QTcpSocket>
#include <QTimer>

#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <vector>

namespace korvo::web {

/// Lives as a child of its socket, so it goes exactly when the socket goes, whoever deletes it.
class ConnectionGuard::Watch final : public QObject
{
public:
    Watch(ConnectionGuard& guard, QTcpSocket& socket, std::chrono::milliseconds idleTimeout)
        : QObject(&socket), m_guard(&guard), m_socket(&socket),
          m_peer(peerName(socket.peerAddress(), socket.peerPort()))
    {
        m_idle.setSingleShot(true);
        m_idle.setInterval(idleTimeout);
        m_idle.callOnTimeout(this, [this] { drop(QStringLiteral("idle for %1 s").arg(m_idle.interval() / 1000)); });
        m_idle.start();
        // The clock restarts on answers only, so a client cannot hold a connection by trickling bytes.
        connect(&socket, &QTcpSocket::bytesWritten, this, [this] {
            m_unanswered = 0;
            m_idle.start();
            m_lastAnswer = std::chrono::steady_clock::now();
        });
        // Connected before the library's own reader, so what is available here is what just arrived.
        connect(&socket, &QTcpSocket::readyRead, this, [this] {
            m_unanswered += m_socket->bytesAvailable();
            if (m_unanswered > kMaxRequestBytes && !m_live) {
                // After the library has read this chunk (at most the read buffer), so that it never
                // reads from a socket closed under it.
                QMetaObject::invokeMethod(
                    this, [this] { drop(QStringLiteral("request larger than %1 bytes").arg(kMaxRequestBytes)); },
                    Qt::QueuedConnection);
            }
        });
    }

    ~Watch() override
    {
        if (m_guard)
            m_guard->forget(this, m_why);
    }

    Q_DISABLE_COPY_MOVE(Watch)

    void drop(const QString& why)
    {
        if (m_live || m_dropping)
            return;
        m_dropping = true;
        m_why = why;
        m_socket->abort();
        m_socket->deleteLater();
    }

    void goLive()
    {
        m_live = true;
        m_idle.stop();
    }

    /// Nothing read from the client since its last answer.
    [[nodiscard]] bool hasNothingUnanswered() const { return m_unanswered == 0; }
    /// Bytes have arrived that the event loop has not read yet.
    [[nodiscard]] bool hasBytesInKernel() const
    {
        int queued = 0;
        return ::ioctl(static_cast<int>(m_socket->socketDescriptor()), FIONREAD, &queued) == 0 && queued > 0;
    }

    void orphan() { m_guard = nullptr; }
    [[nodiscard]] bool isLive() const { return m_live; }
    [[nodiscard]] bool owns(const QTcpSocket* socket) const { return m_socket == socket; }
    [[nodiscard]] std::chrono::steady_clock::time_point lastAnswer() const { return m_lastAnswer; }
    [[nodiscard]] const QString& peer() const { return m_peer; }

private:
    ConnectionGuard* m_guard;
    QTcpSocket* m_socket;
    QString m_peer;
    QString m_why;
    QTimer m_idle;
    qint64 m_unanswered = 0;
    std::chrono::steady_clock::time_point m_lastAnswer = std::chrono::steady_clock::now();
    bool m_live = false;
    bool m_dropping = false;
};

QString peerName(const QHostAddress& address, quint16 port)
{
    bool isIPv4 = false;
    const quint32 v4 = address.toIPv4Address(&isIPv4);
    const QString host = isIPv4 ? QHostAddress(v4).toString() : QStringLiteral("[%1]").arg(address.toString());
    return QStringLiteral("%1:%2").arg(host).arg(port);
}

ConnectionGuard::ConnectionGuard(Limits limits, QObject* parent) : QTcpServer(parent), m_limits(limits)
{
    // Qt's default queue of 50 connections waiting to be accepted overflows when many clients connect at
    // once (all of a venue's screens after a restart, or a flood of connections that the guard is about
    // to close), and every connection the kernel refuses there costs its client a one-second retry. The
    // kernel caps the queue at its own limit (net.core.somaxconn, 4096 by default).
    setListenBacklogSize(std::max(limits.maxConnections, 4096));
}

ConnectionGuard::~ConnectionGuard()
{
    // Sockets may outlive the guard (a live page's belongs to its WebSocket); their watches must not
    // call back into a guard that is gone.
    for (Watch* watch : m_watches)
        watch->orphan();
}

void ConnectionGuard::incomingConnection(qintptr descriptor)
{
    auto* socket = new QTcpSocket(this);
    if (!socket->setSocketDescriptor(descriptor)) {
        delete socket;
        ::close(static_cast<int>(descriptor));
        return;
    }
    if (openCount() >= m_limits.maxConnections && !makeRoom()) {
        emit closed(peerName(socket->peerAddress(), socket->peerPort()), openCount(),
                    QStringLiteral("turned away: %1 live pages open").arg(openCount()));
        socket->abort();
        delete socket;
        return;
    }
    // The library reads each request inside a read transaction, which keeps every byte in the socket's
    // buffer until the request is complete; a buffer no larger than the limit would stall a large request
    // instead of letting it be refused.
    socket->setReadBufferSize(2 * kMaxRequestBytes);
    socket->setSocketOption(QAbstractSocket::SendBufferSizeSocketOption, kSendBufferBytes);
    socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    m_watches.push_back(new Watch(*this, *socket, m_limits.idleTimeout));
    emit opened(m_watches.back()->peer(), openCount());
    addPendingConnection(socket);
}

bool ConnectionGuard::makeRoom()
{
    // The connections that have been silent since their last answer go first, the oldest of them first;
    // a client that has asked something goes only when none is silent. Whether a request waits unread in
    // the kernel is asked only of the one chosen, and a few times at most.
    constexpr int kMaxLooks = 8;
    std::vector<Watch*> asking;
    Watch* chosen = nullptr;
    for (int look = 0; look < kMaxLooks; ++look) {
        chosen = nullptr;
        bool chosenSilent = false;
        for (Watch* watch : m_watches) {
            if (watch->isLive() || std::find(asking.begin(), asking.end(), watch) != asking.end())
                continue;
            const bool silent = watch->hasNothingUnanswered();
            if (!chosen || (silent && !chosenSilent) ||
                (silent == chosenSilent && watch->lastAnswer() < chosen->lastAnswer())) {
                chosen = watch;
                chosenSilent = silent;
            }
        }
        if (!chosen || !chosenSilent || !chosen->hasBytesInKernel())
            break;
        asking.push_back(chosen);
    }
    if (!chosen && !asking.empty())
        chosen = asking.front();
    if (!chosen)
        return false;
    // The watch goes with its socket later; it must not be found again before that.
    m_watches.remove(chosen);
    const QString peer = chosen->peer();
    chosen->orphan();
    chosen->drop(QString());
    emit closed(peer, openCount(), QStringLiteral("made room for a new connection"));
    return true;
}

void ConnectionGuard::markLive(QTcpSocket* socket)
{
    const auto found = std::find_if(m_watches.begin(), m_watches.end(), [socket](Watch* w) { return w->owns(socket); });
    if (found != m_watches.end())
        (*found)->goLive();
}

void ConnectionGuard::forget(Watch* watch, const QString& why)
{
    m_watches.remove(watch);
    emit closed(watch->peer(), openCount(), why);
}

} // namespace korvo::web
