#include "display/DatagramPrinter.h"
#include "follow/DatagramReceiver.h"
#include "display/DisplayWidget.h"
#include "protocol/DottedDecimal.h"
#include "protocol/TimeMessage.h"
#include "platform/MonotonicClock.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QScreen>

#include <cstdio>
#include <cstring>
#include <memory>

namespace {

using korvo::follow::DatagramReceiver;

/// --print and --help must work without a display server, so the GUI application is made only when a
/// window will be shown. Decided from the raw arguments, before Qt sees them.
bool needsWindow(int argc, char* argv[])
{
    for (int i = 1; i < argc; ++i) {
        for (const char* option : {"--print", "--help", "-h", "--help-all", "--version", "-v", "-?"}) {
            if (std::strcmp(argv[i], option) == 0)
                return false;
        }
    }
    return true;
}

[[noreturn]] void fail(const QString& message)
{
    std::fprintf(stderr, "korvo-display: %s\n", qPrintable(message));
    std::exit(2);
}

void placeOnScreen(QWidget& window, int index)
{
    const QList<QScreen*> screens = QGuiApplication::screens();
    if (index < 0 || index >= screens.size()) {
        std::fprintf(stderr, "korvo-display: there is no screen %d (%lld found); using the primary screen\n", index,
                     static_cast<long long>(screens.size()));
        return;
    }
    QScreen* screen = screens.at(index);
    window.setScreen(screen);
    const QRect area = screen->availableGeometry();
    window.move(area.center() - QPoint(window.width() / 2, window.height() / 2));
}

} // namespace

int main(int argc, char* argv[])
{
    const bool window = needsWindow(argc, argv);
    std::unique_ptr<QCoreApplication> app = window ? std::make_unique<QApplication>(argc, argv)
                                                   : std::make_unique<QCoreApplication>(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("korvo-display"));
    QCoreApplication::setApplicationVersion(QStringLiteral(PROJECT_VERSION));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Shows the time that a Korvo Timer clock broadcasts on the local network, as large as the window allows.\n"
        "F11 or a double-click toggles full screen, Esc leaves it."));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption portOption(QStringLiteral("port"), QStringLiteral("UDP port to listen on (default %1).")
                                                                    .arg(korvo::protocol::kBroadcastPort),
                                        QStringLiteral("N"), QString::number(korvo::protocol::kBroadcastPort));
    const QCommandLineOption fullscreenOption(QStringLiteral("fullscreen"), QStringLiteral("Start in full screen."));
    const QCommandLineOption screenOption(QStringLiteral("screen"),
                                          QStringLiteral("Show the window on screen N (0 is the first)."),
                                          QStringLiteral("N"));
    const QCommandLineOption sourceOption(
        QStringLiteral("source"),
        QStringLiteral("Follow only the clock at this IPv4 address, when several clocks share the network."),
        QStringLiteral("ADDRESS"));
    const QCommandLineOption printOption(
        QStringLiteral("print"),
        QStringLiteral("No window: print each accepted datagram with a timestamp and the sender, one per line."));
    parser.addOptions({portOption, fullscreenOption, screenOption, sourceOption, printOption});
    parser.process(*app);

    if (!parser.positionalArguments().isEmpty())
        fail(QStringLiteral("unexpected argument \"%1\" (see --help)").arg(parser.positionalArguments().constFirst()));

    DatagramReceiver::Options options;
    bool ok = false;
    const uint port = parser.value(portOption).toUInt(&ok);
    if (!ok || port == 0 || port > 65535)
        fail(QStringLiteral("--port needs a number from 1 to 65535, not \"%1\"").arg(parser.value(portOption)));
    options.port = static_cast<quint16>(port);
    if (parser.isSet(sourceOption)) {
        const auto source = korvo::protocol::parseDottedDecimal(parser.value(sourceOption));
        if (source)
            options.source = QHostAddress(*source);
        else
            fail(QStringLiteral("--source needs an IPv4 address such as 192.168.0.10, not \"%1\"")
                     .arg(parser.value(sourceOption)));
    }
    int screen = -1;
    if (parser.isSet(screenOption)) {
        screen = parser.value(screenOption).toInt(&ok);
        if (!ok || screen < 0)
            fail(QStringLiteral("--screen needs a screen number, 0 or more, not \"%1\"").arg(parser.value(screenOption)));
    }

    DatagramReceiver receiver(options);

    if (parser.isSet(printOption)) {
        if (!receiver.listen())
            fail(QStringLiteral("cannot listen on port %1: %2").arg(port).arg(receiver.errorString()));
        korvo::display::DatagramPrinter printer(receiver, stdout, stderr);
        std::fprintf(stderr, "korvo-display: listening on UDP port %u\n", static_cast<unsigned>(receiver.port()));
        std::fflush(stderr);
        return QCoreApplication::exec();
    }

    const korvo::platform::SteadyClock clock;
    korvo::display::DisplayWidget display(clock);
    display.follow(receiver);
    if (qEnvironmentVariableIntValue("KORVO_DISPLAY_TRACE") != 0) {
        display.setTrace([](const QString& line) {
            std::fprintf(stderr, "%s\n", qPrintable(line));
            std::fflush(stderr);
        });
    }
    display.resize(960, 540);
    if (screen >= 0)
        placeOnScreen(display, screen);
    if (parser.isSet(fullscreenOption))
        display.showFullScreen();
    else
        display.show();
    return QCoreApplication::exec();
}
