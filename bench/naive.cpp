// korvo-bench-naive: the obvious implementations the benchmarks compare against.
//
//   korvo-bench-naive clock             a window with the time, a repeating QTimer (1000 ms, Qt's default
//                                       coarse mode) adding one second per timeout, a datagram per second
//                                       to 127.0.0.1:7699
//   korvo-bench-naive display --port N  a label showing the payload of each datagram; with
//                                       KORVO_DISPLAY_TRACE=1 it prints "received TEXT NS" and "shown TEXT NS"
//                                       (CLOCK_MONOTONIC) on stderr, the same lines korvo-display prints
#include "model/TimeText.h"
#include "protocol/TimeMessage.h"

#include <QApplication>
#include <QLabel>
#include <QNetworkDatagram>
#include <QTimer>
#include <QUdpSocket>

#include <chrono>
#include <cstdio>
#include <utility>

namespace {

/// A big label that, when tracing, says when it was given a text and when it has painted it.
class Label final : public QLabel
{
public:
    Label(const QString& title, QSize size)
    {
        QFont font;
        font.setPointSize(72);
        font.setBold(true);
        setFont(font);
        setAlignment(Qt::AlignCenter);
        setWindowTitle(title);
        resize(size);
    }
    void showText(const QString& text)
    {
        trace("received", text);
        setText(text);
        m_pending = m_trace;
    }

protected:
    void paintEvent(QPaintEvent* event) override
    {
        QLabel::paintEvent(event);
        if (std::exchange(m_pending, false))
            trace("shown", text());
    }

private:
    void trace(const char* what, const QString& text) const
    {
        if (m_trace)
            std::fprintf(stderr, "%s %s %lld\n", what, qPrintable(text),
                         static_cast<long long>(std::chrono::steady_clock::now().time_since_epoch().count()));
    }

    bool m_trace = qEnvironmentVariableIntValue("KORVO_DISPLAY_TRACE") != 0;
    bool m_pending = false;
};

} // namespace

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    const bool clock = args.value(1) == QLatin1String("clock");
    if (!clock && (args.value(1) != QLatin1String("display") || args.value(2) != QLatin1String("--port"))) {
        std::fprintf(stderr, "usage: korvo-bench-naive clock | display --port N\n");
        return 2;
    }
    Label window(clock ? QStringLiteral("Naive clock") : QStringLiteral("Naive display"),
                 clock ? QSize(480, 200) : QSize(960, 540));
    QUdpSocket socket;
    QTimer timer;
    int seconds = 0;
    if (clock) {
        window.setText(QStringLiteral("00:00"));
        QObject::connect(&timer, &QTimer::timeout, &window, [&] {
            ++seconds;
            const QString text = korvo::model::clockText(seconds / 60, seconds % 60);
            window.setText(text);
            window.setWindowTitle(QStringLiteral("Naive clock ") + text);
            socket.writeDatagram(korvo::protocol::timeMessage(1, text).toLatin1(), QHostAddress(QHostAddress::LocalHost),
                                 korvo::protocol::kBroadcastPort);
        });
        timer.start(1000);
    } else if (socket.bind(QHostAddress(QHostAddress::AnyIPv4), static_cast<quint16>(args.value(3).toUInt()),
                           QUdpSocket::ShareAddress)) {
        QObject::connect(&socket, &QUdpSocket::readyRead, &window, [&] {
            while (socket.hasPendingDatagrams())
                window.showText(QString::fromLatin1(socket.receiveDatagram().data()));
        });
    } else {
        std::fprintf(stderr, "korvo-bench-naive: cannot listen on port %s\n", qPrintable(args.value(3)));
        return 1;
    }
    window.show();
    return QApplication::exec();
}
