// korvo-bench-ticks [--baseline] N: runs N tick events of a clock with a 10 ms period and exits, so that
// an instruction counter can compare a long run with a short one and divide by the difference in ticks.
//
// Korvo Timer: the real main window (FrmMain) started the way the program starts it, with the real HiTimer
// and UdpSocket: every tick goes Timer1_Timer -> CHECK_TIME -> SHOW_TIME -> send, labels repainted.
// Baseline: the same window (labels and caption), a repeating coarse QTimer adding one second per
// timeout, a QUdpSocket sending the same text.
//
// Datagrams go to a loopback port that nobody reads, whatever host the clock asks for.
#include "clock/FrmMain.h"
#include "errors/ErrorReporter.h"
#include "errors/Trap.h"
#include "model/Checked.h"
#include "model/ClockModel.h"
#include "model/TimeMessage.h"
#include "platform/DatagramSocket.h"
#include "platform/HiTimer.h"
#include "platform/MonotonicClock.h"
#include "platform/QtDialogs.h"
#include "platform/UdpSocket.h"
#include "ui/MainWindowUi.h"

#include <QApplication>
#include <QHostAddress>
#include <QLabel>
#include <QTimer>
#include <QUdpSocket>
#include <QWidget>

#include <chrono>
#include <cstdio>
#include <cstdlib>

using namespace korvo;

namespace {

constexpr std::chrono::milliseconds kPeriod{10};

/// Prints a report and ignores it: a benchmark has nobody to answer a message box.
class PrintingReporter final : public errors::ErrorReporter
{
public:
    errors::Answer report(const QString& text) override
    {
        std::fprintf(stderr, "korvo-bench-ticks: unexpected report:\n%s\n", qPrintable(text));
        ++count;
        return errors::Answer::Ignore;
    }
    int count = 0;
};

class NoEnd final : public errors::ProcessEnd
{
public:
    void endProgram() override { std::exit(3); }
};

/// The program's UdpSocket, always aimed at a loopback port.
class LoopbackSocket final : public platform::DatagramSocket
{
public:
    explicit LoopbackSocket(quint16 port)
    {
        m_real.setRemoteHost(QStringLiteral("127.0.0.1"));
        m_real.setRemotePort(port);
    }
    void setProtocol(std::int32_t protocol) override { m_real.setProtocol(protocol); }
    void setRemoteHost(const QString&) override {}
    void setRemotePort(std::int32_t) override {}
    void sendData(const QString& text) override { m_real.sendData(text); }
    [[nodiscard]] QString localIp() const override { return QStringLiteral("127.0.0.1"); }

private:
    platform::UdpSocket m_real;
};

int runProject(int ticks, quint16 port)
{
    model::ClockModel model;
    PrintingReporter reporter;
    NoEnd end;
    errors::Trap trap(reporter, end);
    const platform::SteadyClock steady;
    platform::HiTimer timer(steady, kPeriod);
    LoopbackSocket socket(port);
    platform::QtDialogs dialogs;

    clock::FrmMain frm({model, trap, timer, socket, dialogs});
    // The settings window's part: one long period, counting up, so no tick of the run meets its end.
    frm.setSettingsWindow([&] {
        model::PERIOD_REC period;
        period.Descr = QStringLiteral("1st Half");
        period.AskMe = model::kFalse;
        period.Minutes = 99;
        period.Seconds = 59;
        model.applySet({period}, model::COUNT_UP, QStringLiteral("127.0.0.255"));
    });
    frm.Form_Initialize();
    frm.Form_Load();
    frm.show();

    int seen = 0;
    QObject::connect(&timer, &platform::TickTimer::tick, &frm, [&] {
        if (++seen >= ticks)
            QCoreApplication::quit();
    });
    frm.cmdSTART_Click();
    QApplication::exec();
    std::printf("ticks %d clock %d reports %d\n", seen, model.CUR_SECONDS, reporter.count);
    return reporter.count == 0 ? 0 : 1;
}

int runBaseline(int ticks, quint16 port)
{
    // The same window, so that both sides pay for the same labels and caption.
    QWidget window;
    ui::MainWindowUi face;
    face.setupUi(&window);
    face.lblPERIOD->setText(QStringLiteral("1st Half"));
    window.show();

    QUdpSocket socket;
    QTimer timer;
    timer.setInterval(kPeriod);
    int seconds = 0;
    int seen = 0;
    QObject::connect(&timer, &QTimer::timeout, &window, [&] {
        ++seconds;
        const QString text = model::format00(seconds / 60) + QLatin1Char(':') + model::format00(seconds % 60);
        face.lblTIME->setText(text);
        window.setWindowTitle(face.lblPERIOD->text() + QLatin1Char('/') + text);
        socket.writeDatagram(model::timeMessage(1, text).toLatin1(), QHostAddress(QHostAddress::LocalHost), port);
        if (++seen >= ticks)
            QCoreApplication::quit();
    });
    timer.start();
    QApplication::exec();
    std::printf("ticks %d clock %d\n", seen, seconds);
    return 0;
}

} // namespace

int main(int argc, char* argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    const bool baseline = args.contains(QStringLiteral("--baseline"));
    const int ticks = args.constLast().toInt();
    if (ticks < 1) {
        std::fprintf(stderr, "usage: korvo-bench-ticks [--baseline] TICKS\n");
        return 2;
    }
    // Bound and never read: the kernel drops what does not fit, the sender never waits.
    QUdpSocket sink;
    if (!sink.bind(QHostAddress(QHostAddress::LocalHost), 0)) {
        std::fprintf(stderr, "korvo-bench-ticks: cannot bind a loopback port\n");
        return 1;
    }
    return baseline ? runBaseline(ticks, sink.localPort()) : runProject(ticks, sink.localPort());
}
