#include "follow/DatagramReceiver.h"
#include "web/WebOptions.h"
#include "web/WebServer.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdio>

namespace {

using namespace korvo;

int signalSockets[2] = {-1, -1};

extern "C" void onQuitSignal(int /*signal*/)
{
    const char byte = 1;
    [[maybe_unused]] const auto written = ::write(signalSockets[1], &byte, 1);
}

/// SIGINT and SIGTERM end the event loop, so that the program closes its sockets and exits 0. The handler
/// only writes a byte; the event loop reads it.
void quitOnSignals(QCoreApplication& app)
{
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, signalSockets) != 0)
        return;
    auto* notifier = new QSocketNotifier(signalSockets[0], QSocketNotifier::Read, &app);
    QObject::connect(notifier, &QSocketNotifier::activated, &app, &QCoreApplication::quit);
    struct sigaction action = {};
    action.sa_handler = onQuitSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGINT, &action, nullptr);
    ::sigaction(SIGTERM, &action, nullptr);
}

/// Every connection is a file descriptor; the usual soft limit of 1024 would cut --max-connections short.
void allowDescriptors(int connections)
{
    rlimit limit = {};
    const auto wanted = static_cast<rlim_t>(connections) + 64;
    if (::getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < wanted) {
        limit.rlim_cur = std::min(wanted, limit.rlim_max);
        ::setrlimit(RLIMIT_NOFILE, &limit);
    }
}

void say(const QString& line)
{
    std::fprintf(stderr, "korvo-web: %s\n", qPrintable(line));
    std::fflush(stderr);
}

/// "port 8080 on every interface", "port 8080 on 127.0.0.1"
QString where(const QHostAddress& address, quint16 port)
{
    return QStringLiteral("port %1 on %2")
        .arg(port)
        .arg(address == QHostAddress::Any ? QStringLiteral("every interface") : address.toString());
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("korvo-web"));

    const auto parsed = web::parseWebOptions(QCoreApplication::arguments());
    if (const auto* help = std::get_if<web::HelpText>(&parsed)) {
        std::fputs(qPrintable(help->text), stdout);
        return 0;
    }
    if (const auto* error = std::get_if<web::OptionError>(&parsed)) {
        say(QStringLiteral("%1 (see --help)").arg(error->message));
        return 2;
    }
    const auto& options = std::get<web::WebOptions>(parsed);
    allowDescriptors(options.limits.maxConnections);

    web::WebServer server(options.limits, [] {
        return std::chrono::duration_cast<std::chrono::nanoseconds>(
            std::chrono::steady_clock::now().time_since_epoch());
    });
    if (options.verbose)
        QObject::connect(&server, &web::WebServer::clientEvent, &say);
    if (!server.listen(options.listen, options.httpPort)) {
        say(QStringLiteral("cannot serve on %1: %2")
                .arg(where(options.listen, options.httpPort), server.errorString()));
        return 1;
    }
    follow::DatagramReceiver receiver(options.clock);
    if (!receiver.listen()) {
        say(QStringLiteral("cannot listen on UDP port %1: %2").arg(options.clock.port).arg(receiver.errorString()));
        return 1;
    }
    server.follow(receiver);
    quitOnSignals(app);
    say(QStringLiteral("serving %1, following the clock on UDP port %2")
            .arg(where(options.listen, server.port()))
            .arg(receiver.port()));
    return QCoreApplication::exec();
}
