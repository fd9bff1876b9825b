#include "web/WebServer.h"

#include "follow/DatagramReceiver.h"
#include "web/StateJson.h"

#include <QFile>
#include <QHttpServer>
#include <QHttpServerRequest>
#include <QHttpServerResponse>
#include <QTimer>
#include <QWebSocket>

#include <algorithm>

namespace korvo::web {

namespace {

using Method = QHttpServerRequest::Method;
using Status = QHttpServerResponder::StatusCode;

const QByteArray kLivePath = "/live";

/// Everything the server can answer with; no other path reaches any file.
struct Resource
{
    const char* path;
    const char* file; ///< in the program's resources
    const char* type;
};

constexpr Resource kResources[] = {
    {"/", "index.html", "text/html; charset=utf-8"},
    {"/overlay", "overlay.html", "text/html; charset=utf-8"},
    {"/clock.js", "clock.js", "text/javascript; charset=utf-8"},
    {"/clock.css", "clock.css", "text/css; charset=utf-8"},
    {"/overlay.css", "overlay.css", "text/css; charset=utf-8"},
    {"/favicon.svg", "favicon.svg", "image/svg+xml"},
};

QByteArray builtIn(const char* file)
{
    QFile resource(QStringLiteral(":/korvo/web/%1").arg(QLatin1String(file)));
    return resource.open(QIODevice::ReadOnly) ? resource.readAll() : QByteArray();
}

void addCommonHeaders(QHttpServerResponse& response)
{
    response.setHeader("X-Content-Type-Options", "nosniff");
    // The pages load nothing from any other host and are not meant to be framed by other sites' pages.
    response.setHeader("Content-Security-Policy",
                       "default-src 'self'; connect-src 'self'; base-uri 'none'; form-action 'none'");
}

bool asksForWebSocket(const QHttpServerRequest& request)
{
    return request.value("Upgrade").compare("websocket", Qt::CaseInsensitive) == 0;
}

} // namespace

WebServer::WebServer(Limits limits, Now now, QObject* parent)
    : QObject(parent),
      m_limits(limits),
      m_now(std::move(now)),
      m_http(new QHttpServer(this)),
      m_guard(new ConnectionGuard(limits, this)),
      m_ping(new QTimer(this))
{
    addRoutes();
    connect(m_http, &QHttpServer::newWebSocketConnection, this, &WebServer::takeLivePages);
    connect(m_guard, &ConnectionGuard::opened, this, [this](const QString& peer, int open) {
        emit clientEvent(QStringLiteral("client %1 connected (%2 open)").arg(peer).arg(open));
    });
    connect(m_guard, &ConnectionGuard::closed, this, [this](const QString& peer, int open, const QString& why) {
        emit clientEvent(why.isEmpty() ? QStringLiteral("client %1 disconnected (%2 open)").arg(peer).arg(open)
                                       : QStringLiteral("client %1 closed: %2 (%3 open)").arg(peer, why).arg(open));
    });
    // A third of the timeout: a page that misses two pings in a row still answers the third in time.
    m_ping->setInterval(std::max<std::chrono::milliseconds>(m_limits.idleTimeout / 3, std::chrono::seconds(1)));
    connect(m_ping, &QTimer::timeout, this, &WebServer::pingPages);
}

WebServer::~WebServer() = default;

bool WebServer::listen(const QHostAddress& address, quint16 port)
{
    if (!m_guard->listen(address, port)) {
        m_error = m_guard->errorString();
        return false;
    }
    // The library parents the server and takes its connections from here on.
    m_http->bind(m_guard);
    m_ping->start();
    return true;
}

quint16 WebServer::port() const
{
    return m_guard->serverPort();
}

void WebServer::follow(follow::DatagramReceiver& receiver)
{
    connect(&receiver, &follow::DatagramReceiver::timeReceived, this,
            [this](const protocol::TimeDatagram& time, const QByteArray&, const QHostAddress& sender) {
                m_state.showTime(time, sender, m_now());
                changed();
            });
    connect(&receiver, &follow::DatagramReceiver::pauseReceived, this,
            [this](const QByteArray&, const QHostAddress& sender) {
                m_state.showPause(sender, m_now());
                changed();
            });
}

void WebServer::addRoutes()
{
    for (const Resource& resource : kResources) {
        const QByteArray body = builtIn(resource.file);
        const QByteArray type = resource.type;
        m_http->route(QString::fromLatin1(resource.path), Method::Get, [body, type] {
            QHttpServerResponse response(type, body);
            addCommonHeaders(response);
            response.setHeader("Cache-Control", "no-cache");
            return response;
        });
    }
    m_http->route(QStringLiteral("/state"), Method::Get, [this] {
        QHttpServerResponse response("application/json", stateJson(m_state, m_now()));
        addCommonHeaders(response);
        response.setHeader("Cache-Control", "no-store");
        return response;
    });
    // Qt HttpServer 6.4 hands a WebSocket upgrade to its WebSocket side only when a route took the
    // request and wrote nothing: a route that answers would send its HTTP response first, and the
    // browser gives up. So this route answers only requests that are not upgrades. (Later Qt versions
    // verify upgrades through their own callbacks instead.)
    m_http->route(QString::fromLatin1(kLivePath), Method::Get,
                  [this](const QHttpServerRequest& request, QHttpServerResponder&& responder) {
                      if (asksForWebSocket(request)) {
                          m_guard->markLive(responder.socket());
                          return;
                      }
                      responder.write(
                          QByteArray("/live is a WebSocket\n"),
                          {{"Content-Type", "text/plain"}, {"Upgrade", "websocket"}, {"Connection", "close"}},
                          Status::UpgradeRequired);
                  });
    m_http->setMissingHandler([](const QHttpServerRequest& request, QHttpServerResponder&& responder) {
        if (request.method() != Method::Get)
            responder.write(QByteArray("only GET\n"), {{"Content-Type", "text/plain"}, {"Allow", "GET"}},
                            Status::MethodNotAllowed);
        else
            responder.write(QByteArray("not found\n"), "text/plain", Status::NotFound);
    });
}

void WebServer::takeLivePages()
{
    while (std::unique_ptr<QWebSocket> owned = m_http->nextPendingWebSocketConnection()) {
        QWebSocket* socket = owned.release();
        socket->setParent(this);
        if (socket->requestUrl().path().toLatin1() != kLivePath) {
            socket->abort();
            socket->deleteLater();
            continue;
        }
        socket->setMaxAllowedIncomingFrameSize(kMaxIncomingFrameBytes);
        socket->setMaxAllowedIncomingMessageSize(kMaxIncomingFrameBytes);
        // Queued: a page may go while the pages are being walked.
        connect(socket, &QWebSocket::disconnected, this, [this, socket] { forgetPage(socket); }, Qt::QueuedConnection);
        connect(socket, &QWebSocket::pong, this, [this, socket] {
            const auto page = std::find_if(m_pages.begin(), m_pages.end(),
                                           [socket](const LivePage& p) { return p.socket == socket; });
            if (page != m_pages.end())
                page->lastHeard = m_now();
        });
        m_pages.push_back({socket, peerName(socket->peerAddress(), socket->peerPort()), m_now()});
        emit clientEvent(
            QStringLiteral("client %1 follows the clock live (%2 live)").arg(m_pages.back().peer).arg(m_pages.size()));
        send(m_pages.back(), QString::fromUtf8(stateJson(m_state, m_now())));
    }
}

void WebServer::forgetPage(QWebSocket* socket)
{
    const auto page =
        std::find_if(m_pages.begin(), m_pages.end(), [socket](const LivePage& p) { return p.socket == socket; });
    if (page == m_pages.end())
        return;
    m_pages.erase(page);
    socket->deleteLater();
}

void WebServer::dropPage(LivePage& page, const QString& why)
{
    emit clientEvent(QStringLiteral("client %1 dropped: %2").arg(page.peer, why));
    page.socket->abort();
}

void WebServer::changed()
{
    const QString json = QString::fromUtf8(stateJson(m_state, m_now()));
    for (LivePage& page : m_pages)
        send(page, json);
}

void WebServer::send(LivePage& page, const QString& json)
{
    if (page.socket->state() != QAbstractSocket::ConnectedState)
        return;
    if (page.socket->bytesToWrite() > kMaxBacklogBytes) {
        dropPage(page, QStringLiteral("it stopped reading"));
        return;
    }
    page.socket->sendTextMessage(json);
    // Into the kernel now rather than on the socket's next turn in the event loop, so that the last of
    // many pages is not kept waiting for all the others' turns.
    page.socket->flush();
}

void WebServer::pingPages()
{
    const auto now = m_now();
    for (LivePage& page : m_pages) {
        if (page.socket->state() != QAbstractSocket::ConnectedState)
            continue;
        if (now - page.lastHeard > m_limits.idleTimeout)
            dropPage(page, QStringLiteral("no answer to pings for %1 s").arg(m_limits.idleTimeout.count()));
        else
            page.socket->ping();
    }
}

} // namespace korvo::web
