#pragma once

#include "follow/FollowedState.h"
#include "web/ConnectionGuard.h"

#include <QHostAddress>
#include <QObject>
#include <QString>

#include <chrono>
#include <functional>
#include <vector>

class QHttpServer;
class QTimer;
class QWebSocket;

namespace korvo::follow {
class DatagramReceiver;
}

namespace korvo::web {

/// korvo-web's HTTP side: the built-in pages, /state, and /live, which pushes the state to every open
/// page the moment a datagram is accepted. Nothing a client sends changes anything.
class WebServer final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(WebServer)

public:
    /// Monotonic time, the same the datagrams are stamped with.
    using Now = std::function<std::chrono::nanoseconds()>;

    /// What may wait to be sent to a live page; a page further behind has stopped reading and is dropped.
    static constexpr qint64 kMaxBacklogBytes = 64 * 1024;
    /// A live page sends nothing but answers to pings; anything larger is not a page.
    static constexpr quint64 kMaxIncomingFrameBytes = 1024;

    WebServer(Limits limits, Now now, QObject* parent = nullptr);
    ~WebServer() override;

    /// On failure errorString() says why.
    bool listen(const QHostAddress& address, quint16 port);
    [[nodiscard]] QString errorString() const { return m_error; }
    /// The port listened on (differs from the one asked for only when 0 was asked for).
    [[nodiscard]] quint16 port() const;

    /// Serves what this receiver hears.
    void follow(follow::DatagramReceiver& receiver);

signals:
    /// One line per client that connects, goes live or leaves, for --verbose.
    void clientEvent(const QString& line);

private:
    struct LivePage
    {
        QWebSocket* socket;
        QString peer;
        std::chrono::nanoseconds lastHeard;
    };

    void addRoutes();
    void takeLivePages();
    void forgetPage(QWebSocket* socket);
    void dropPage(LivePage& page, const QString& why);
    void changed();
    void send(LivePage& page, const QString& json);
    void pingPages();

    Limits m_limits;
    Now m_now;
    QHttpServer* m_http;
    ConnectionGuard* m_guard;
    QTimer* m_ping;
    follow::FollowedState m_state;
    std::vector<LivePage> m_pages;
    QString m_error;
};

} // namespace korvo::web
