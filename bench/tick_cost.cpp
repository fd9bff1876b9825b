// korvo-bench-ticks [--baseline] N: runs N tick events of a clock with a 10 ms period and exits, so that an
// instruction counter can compare a long run with a short one and divide by the difference in ticks.
//
// Korvo Timer: the real main window (FrmMain) started the way the program starts it, with the real HiTimer
// and UdpSocket: every tick goes Timer1_Timer -> CHECK_TIME -> SHOW_TIME -> send, labels repainted.
// Baseline: the same window (labels and caption), a repeating coarse QTimer adding one second per timeout,
// a QUdpSocket sending the same text. Datagrams go to a loopback port that nobody reads, whatever host the
// clock asks for.
#include "clock/FrmMain.h"
#include "errors/ErrorReporter.h"
#include "errors/Trap.h"
#include "model/TimeText.h"
#include "model/ClockModel.h"
#include "protocol/TimeMessage.h"
#include "platform/HiTimer.h"
#include "platform/MonotonicClock.h"
#include "platform/QtDialogs.h"
#include "platform/UdpSocket.h"
#include "ui/MainWindowUi.h"

#include <QApplication>
#include <QLabel>
#include <QTimer>
#include <QUdpSocket>

#include <chrono>
#include <cstdio>
#include <cstdlib>

using namespace korvo;

namespace {

constexpr std::chrono::milliseconds kPeriod{10};

/// Nobody answers a benchmark's reports: each is printed and ignored, and any ending ends it with status 3.
class PrintingTrap final : public errors::ErrorReporter, public errors::ProcessEnd
{
public:
    errors::Answer report(const QString& text) override
    {
        std::fprintf(stderr, "korvo-bench-ticks: unexpected report:\n%s\n", qPrintable(text));
        ++count;
        return errors::Answer::Ignore;
    }
    void endProgram() override { std::exit(3); }
    int count = 0;
};

/// The program's UdpSocket, always aimed at the loopback sink.
class SinkSocket final : public platform::DatagramSocket
{
public:
    explicit SinkSocket(quint16 port)
    {
        m_real.setRemoteHost(QStringLiteral("127.0.0.1"));
        m_real.setRemotePort(port);
    }
    void setProtocol(std::int32_t protocol) override { m_real.setProtocol(protocol); }
    void setRemoteHost(const QString&) override { }
    void setRemotePort(std::int32_t) override { }
    void sendData(const QString& text) override { m_real.sendData(text); }
    [[nodiscard]] QString localIp() const override { return QStringLiteral("127.0.0.1"); }

private:
    platform::UdpSocket m_real;
};

/// The baseline's whole tick, kept out of line so that an instruction counter can find it by name, as it
/// finds Timer1_Timer.
struct NaiveTick
{
    QWidget& window;
    ui::MainWindowUi& face;
    QUdpSocket& sink;
    int& seen;

    [[gnu::noinline]] void timeout()
    {
        ++seen;
        const QString text = model::clockText(seen / 60, seen % 60);
        face.lblTIME->setText(text);
        window.setWindowTitle(face.lblPERIOD->text() + QLatin1Char('/') + text);
        sink.writeDatagram(protocol::timeMessage(1, text).toLatin1(), QHostAddress(QHostAddress::LocalHost),
                           sink.localPort());
    }
};

} // namespace

int main(int argc, char* argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int ticks = QCoreApplication::arguments().constLast().toInt();
    QUdpSocket sink; // bound and never read: the kernel drops what does not fit, the sender never waits
    if (ticks < 1 || !sink.bind(QHostAddress(QHostAddress::LocalHost), 0)) {
        std::fprintf(stderr, "usage: korvo-bench-ticks [--baseline] TICKS\n");
        return 2;
    }
    int seen = 0;
    if (!QCoreApplication::arguments().contains(QStringLiteral("--baseline"))) {
        model::ClockModel model;
        PrintingTrap printing;
        errors::Trap trap(printing, printing);
        const platform::SteadyClock steady;
        platform::HiTimer timer(steady, kPeriod);
        SinkSocket socket(sink.localPort());
        platform::QtDialogs dialogs;
        // The settings window's part: one long period counting up, so that no tick of the run meets its end.
        clock::FrmMain frm({model, trap, timer, socket, dialogs, [&] {
                                model.applySet({{QStringLiteral("1st Half"), model::kFalse, 99, 59}},
                                               model::COUNT_UP, QStringLiteral("127.0.0.255"));
                            }});
        frm.Form_Initialize();
        frm.Form_Load();
        frm.show();
        QObject::connect(&timer, &platform::TickTimer::tick, &frm, [&] {
            if (++seen >= ticks)
                QCoreApplication::quit();
        });
        frm.cmdSTART_Click();
        QApplication::exec();
        std::printf("ticks %d clock %d reports %d\n", seen, model.CUR_SECONDS, printing.count);
        return printing.count == 0 ? 0 : 1;
    }
    // The same window, so that both sides pay for the same labels and caption.
    QWidget window;
    ui::MainWindowUi face;
    face.setupUi(&window);
    face.lblPERIOD->setText(QStringLiteral("1st Half"));
    window.show();
    QTimer timer;
    NaiveTick tick{window, face, sink, seen};
    QObject::connect(&timer, &QTimer::timeout, &window, [&] {
        tick.timeout();
        if (seen >= ticks)
            QCoreApplication::quit();
    });
    timer.start(kPeriod);
    QApplication::exec();
    std::printf("ticks %d\n", seen);
    return 0;
}
