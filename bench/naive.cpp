// korvo-bench-naive: the obvious implementations the benchmarks compare against.
//
//   korvo-bench-naive clock            a window with the time, a repeating QTimer (1000 ms, Qt's default
//                                      coarse mode) adding one second per timeout, a datagram per second
//                                      to 127.0.0.1:7699
//   korvo-bench-naive display --port N  a label showing the payload of each datagram; with
//                                      KORVO_DISPLAY_TRACE=1 it prints "received TEXT NS" and "shown TEXT NS"
//                                      (CLOCK_MONOTONIC) on stderr, the same lines korvo-display prints
#include "model/Checked.h"
#include "model/TimeMessage.h"

#include <QApplication>
#include <QHostAddress>
#include <QLabel>
#include <QNetworkDatagram>
#include <QTimer>
#include <QUdpSocket>

#include <chrono>
#include <cstdio>

namespace {

long long monotonicNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

QFont bigFont()
{
    QFont font;
    font.setPointSize(72);
    font.setBold(true);
    return font;
}

/// A label that says when it has painted a text it was given.
class TracedLabel final : public QLabel
{
public:
    explicit TracedLabel(bool trace)
        : m_trace(trace)
    {
    }
    void showText(const QString& text)
    {
        if (m_trace)
            std::fprintf(stderr, "received %s %lld\n", qPrintable(text), monotonicNs());
        setText(text);
        m_pending = m_trace;
    }

protected:
    void paintEvent(QPaintEvent* event) override
    {
        QLabel::paintEvent(event);
        if (m_pending) {
            m_pending = false;
            std::fprintf(stderr, "shown %s %lld\n", qPrintable(text()), monotonicNs());
            std::fflush(stderr);
        }
    }

private:
    bool m_trace;
    bool m_pending = false;
};

int naiveClock()
{
    QLabel window(QStringLiteral("00:00"));
    window.setWindowTitle(QStringLiteral("Naive clock"));
    window.setFont(bigFont());
    window.setAlignment(Qt::AlignCenter);
    window.resize(480, 200);

    QUdpSocket socket;
    QTimer timer;
    timer.setInterval(1000);
    int seconds = 0;
    QObject::connect(&timer, &QTimer::timeout, &window, [&] {
        ++seconds;
        const QString text = korvo::model::format00(seconds / 60) + QLatin1Char(':') + korvo::model::format00(seconds % 60);
        window.setText(text);
        window.setWindowTitle(QStringLiteral("Naive clock ") + text);
        socket.writeDatagram(korvo::model::timeMessage(1, text).toLatin1(), QHostAddress(QHostAddress::LocalHost),
                             korvo::model::kBroadcastPort);
    });
    timer.start();
    window.show();
    return QApplication::exec();
}

int naiveDisplay(quint16 port)
{
    TracedLabel window(qEnvironmentVariableIntValue("KORVO_DISPLAY_TRACE") != 0);
    window.setWindowTitle(QStringLiteral("Naive display"));
    window.setFont(bigFont());
    window.setAlignment(Qt::AlignCenter);
    window.resize(960, 540);

    QUdpSocket socket;
    if (!socket.bind(QHostAddress(QHostAddress::AnyIPv4), port, QUdpSocket::ShareAddress)) {
        std::fprintf(stderr, "korvo-bench-naive: cannot listen on port %u\n", static_cast<unsigned>(port));
        return 1;
    }
    QObject::connect(&socket, &QUdpSocket::readyRead, &window, [&] {
        while (socket.hasPendingDatagrams())
            window.showText(QString::fromLatin1(socket.receiveDatagram().data()));
    });
    window.show();
    return QApplication::exec();
}

} // namespace

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    if (args.size() >= 2 && args[1] == QLatin1String("clock"))
        return naiveClock();
    if (args.size() >= 4 && args[1] == QLatin1String("display") && args[2] == QLatin1String("--port"))
        return naiveDisplay(static_cast<quint16>(args[3].toUInt()));
    std::fprintf(stderr, "usage: korvo-bench-naive clock | display --port N\n");
    return 2;
}
