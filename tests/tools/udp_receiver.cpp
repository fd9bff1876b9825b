// Receives the clock's datagrams for the black-box tests and prints one line per datagram:
//   <milliseconds on CLOCK_MONOTONIC> <destination address> <payload>
// The first line, "# listening <port>", tells a script that the socket is bound.
// Usage: korvo-udp-receiver PORT SECONDS   (it exits after that long)

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
    const auto port = static_cast<quint16>(arguments.value(1).toUInt());
    QUdpSocket socket;
    if (arguments.size() != 3 || !socket.bind(QHostAddress::AnyIPv4, port, QUdpSocket::ShareAddress)) {
        std::fprintf(stderr, "usage: korvo-udp-receiver PORT SECONDS (%s)\n", qPrintable(socket.errorString()));
        return 2;
    }
    std::printf("# listening %u\n", port);
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
    QTimer::singleShot(std::chrono::seconds(arguments.value(2).toInt()), &app, &QCoreApplication::quit);
    return QCoreApplication::exec();
}
