// Receives the clock's datagrams for the black-box tests and prints one line per datagram:
//   <milliseconds on CLOCK_MONOTONIC> <destination address> <payload>
// The first line, "# listening <port>", tells a script that the socket is bound.
// Usage: korvo-udp-receiver [port] [seconds]   (defaults 7699 and 60; it exits after that long)

#include <QCoreApplication>
#include <QNetworkDatagram>
#include <QTimer>
#include <QUdpSocket>

#include <chrono>
#include <cstdio>

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    const int port = arguments.size() > 1 ? arguments[1].toInt() : 7699;
    const int seconds = arguments.size() > 2 ? arguments[2].toInt() : 60;
    if (port <= 0 || port > 65535 || seconds <= 0) {
        std::fprintf(stderr, "usage: korvo-udp-receiver [port] [seconds]\n");
        return 2;
    }
    QUdpSocket socket;
    if (!socket.bind(QHostAddress::AnyIPv4, static_cast<quint16>(port), QUdpSocket::ShareAddress)) {
        std::fprintf(stderr, "korvo-udp-receiver: bind: %s\n", qPrintable(socket.errorString()));
        return 2;
    }
    std::printf("# listening %d\n", port);
    std::fflush(stdout);
    QObject::connect(&socket, &QUdpSocket::readyRead, [&socket] {
        while (socket.hasPendingDatagrams()) {
            const QNetworkDatagram d = socket.receiveDatagram();
            const auto now = std::chrono::steady_clock::now().time_since_epoch();
            const long long ms = std::chrono::duration_cast<std::chrono::milliseconds>(now).count();
            std::printf("%lld %s %s\n", ms, qPrintable(d.destinationAddress().toString()), d.data().constData());
            std::fflush(stdout);
        }
    });
    QTimer::singleShot(std::chrono::seconds(seconds), &app, &QCoreApplication::quit);
    return QCoreApplication::exec();
}
