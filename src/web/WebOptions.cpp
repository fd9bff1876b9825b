#include "web/WebOptions.h"

#include "protocol/DottedDecimal.h"
#include "protocol/TimeMessage.h"

#include <QCommandLineParser>

#include <optional>

namespace korvo::web {

namespace {

/// A whole number from `low` to `high`, or nothing.
std::optional<uint> number(const QString& text, uint low, uint high)
{
    bool ok = false;
    const uint value = text.toUInt(&ok);
    if (!ok || value < low || value > high)
        return std::nullopt;
    return value;
}

/// Dotted decimal for IPv4 (the way the clock's operator writes addresses), Qt's reading for IPv6.
std::optional<QHostAddress> address(const QString& text, bool allowIPv6)
{
    if (const auto v4 = protocol::parseDottedDecimal(text))
        return QHostAddress(*v4);
    QHostAddress v6;
    if (allowIPv6 && text.contains(QLatin1Char(':')) && v6.setAddress(text) &&
        v6.protocol() == QAbstractSocket::IPv6Protocol)
        return v6;
    return std::nullopt;
}

OptionError needs(const QString& option, const QString& what, const QString& given)
{
    return {QStringLiteral("--%1 needs %2, not \"%3\"").arg(option, what, given)};
}

} // namespace

std::variant<WebOptions, HelpText, OptionError> parseWebOptions(const QStringList& arguments)
{
    WebOptions options;
    options.clock.port = protocol::kBroadcastPort;

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Serves the time that a Korvo Timer clock broadcasts on the local network as live web pages:\n"
        "  /          the clock for a big screen or a phone\n"
        "  /overlay   a strip on a transparent background for streaming software\n"
        "             (?corner=bottom-left&scale=1.5&fg=ffffff&bg=00000080)\n"
        "  /state     the current state as JSON\n"
        "  /live      the same JSON pushed on every change (WebSocket)"));
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")}, QStringLiteral("Show this help."));
    const QCommandLineOption port(
        QStringLiteral("port"),
        QStringLiteral("UDP port the clock broadcasts to (default %1).").arg(protocol::kBroadcastPort),
        QStringLiteral("N"));
    const QCommandLineOption source(QStringLiteral("source"),
                                    QStringLiteral("Follow only the clock at this IPv4 address."),
                                    QStringLiteral("ADDRESS"));
    const QCommandLineOption httpPort(QStringLiteral("http-port"),
                                      QStringLiteral("TCP port of the web pages (default %1; 0 picks a free one).")
                                          .arg(options.httpPort),
                                      QStringLiteral("N"));
    const QCommandLineOption listen(QStringLiteral("listen"),
                                    QStringLiteral("Serve on this address only (default: every interface)."),
                                    QStringLiteral("ADDRESS"));
    const QCommandLineOption maxConnections(
        QStringLiteral("max-connections"),
        QStringLiteral("Connections open at once, live pages included (default %1).")
            .arg(options.limits.maxConnections),
        QStringLiteral("N"));
    const QCommandLineOption idleTimeout(
        QStringLiteral("idle-timeout"),
        QStringLiteral("Close connections without a request, and live pages that stop answering, after this many "
                       "seconds (default %1).")
            .arg(options.limits.idleTimeout.count()),
        QStringLiteral("SECONDS"));
    const QCommandLineOption verbose(QStringLiteral("verbose"),
                                     QStringLiteral("Print a line for every client that connects or leaves."));
    parser.addOptions({help, port, source, httpPort, listen, maxConnections, idleTimeout, verbose});

    if (!parser.parse(arguments))
        return OptionError{parser.errorText()};
    if (parser.isSet(help))
        return HelpText{parser.helpText()};
    if (!parser.positionalArguments().isEmpty())
        return OptionError{QStringLiteral("unexpected argument \"%1\"").arg(parser.positionalArguments().constFirst())};

    if (parser.isSet(port)) {
        const auto value = number(parser.value(port), 1, 65535);
        if (!value)
            return needs(QStringLiteral("port"), QStringLiteral("a number from 1 to 65535"), parser.value(port));
        options.clock.port = static_cast<quint16>(*value);
    }
    if (parser.isSet(source)) {
        const auto value = address(parser.value(source), false);
        if (!value)
            return needs(QStringLiteral("source"), QStringLiteral("an IPv4 address such as 192.168.0.10"),
                         parser.value(source));
        options.clock.source = *value;
    }
    if (parser.isSet(httpPort)) {
        const auto value = number(parser.value(httpPort), 0, 65535);
        if (!value)
            return needs(QStringLiteral("http-port"), QStringLiteral("a number from 0 to 65535"),
                         parser.value(httpPort));
        options.httpPort = static_cast<quint16>(*value);
    }
    if (parser.isSet(listen)) {
        const auto value = address(parser.value(listen), true);
        if (!value)
            return needs(QStringLiteral("listen"), QStringLiteral("an IPv4 or IPv6 address of this machine"),
                         parser.value(listen));
        options.listen = *value;
    }
    if (parser.isSet(maxConnections)) {
        const auto value = number(parser.value(maxConnections), 1, 4096);
        if (!value)
            return needs(QStringLiteral("max-connections"), QStringLiteral("a number from 1 to 4096"),
                         parser.value(maxConnections));
        options.limits.maxConnections = static_cast<int>(*value);
    }
    if (parser.isSet(idleTimeout)) {
        const auto value = number(parser.value(idleTimeout), 1, 3600);
        if (!value)
            return needs(QStringLiteral("idle-timeout"), QStringLiteral("a number of seconds from 1 to 3600"),
                         parser.value(idleTimeout));
        options.limits.idleTimeout = std::chrono::seconds(*value);
    }
    options.verbose = parser.isSet(verbose);
    return options;
}

} // namespace korvo::web
