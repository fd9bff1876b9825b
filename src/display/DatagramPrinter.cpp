#include "display/DatagramPrinter.h"

#include "follow/DatagramReceiver.h"

namespace korvo::display {

namespace {

void writeLine(std::FILE* stream, const QString& line)
{
    const QByteArray bytes = line.toUtf8() + '\n';
    std::fwrite(bytes.constData(), 1, static_cast<std::size_t>(bytes.size()), stream);
    std::fflush(stream);
}

} // namespace

QString printLine(const QDateTime& when, const QHostAddress& sender, const QString& message)
{
    // Converting to a fixed offset makes the ISO text carry it ("+01:00"), so lines from different
    // machines can be compared.
    const QDateTime stamped = when.toOffsetFromUtc(when.offsetFromUtc());
    return QStringLiteral("%1 %2 %3").arg(stamped.toString(Qt::ISODateWithMs), sender.toString(), message);
}

DatagramPrinter::DatagramPrinter(DatagramReceiver& receiver, std::FILE* out, std::FILE* err, QObject* parent)
    : QObject(parent), m_out(out), m_err(err)
{
    // Accepted datagrams are ASCII; they are printed as they arrived.
    connect(&receiver, &DatagramReceiver::timeReceived, this,
            [this](const protocol::TimeDatagram&, const QByteArray& payload, const QHostAddress& sender) {
                print(sender, QString::fromLatin1(payload));
            });
    connect(&receiver, &DatagramReceiver::pauseReceived, this,
            [this](const QByteArray& payload, const QHostAddress& sender) { print(sender, QString::fromLatin1(payload)); });
    connect(&receiver, &DatagramReceiver::datagramRejected, this,
            [this](protocol::Rejection why, const QByteArray& payload, const QHostAddress& sender) {
                const std::string_view reason = protocol::describe(why);
                complain(QStringLiteral("rejected (%1)")
                             .arg(QString::fromLatin1(reason.data(), static_cast<qsizetype>(reason.size()))),
                         payload, sender);
            });
    connect(&receiver, &DatagramReceiver::datagramIgnored, this, [this](const QByteArray& payload, const QHostAddress& sender) {
        complain(QStringLiteral("ignored (not the chosen source)"), payload, sender);
    });
}

void DatagramPrinter::print(const QHostAddress& sender, const QString& message)
{
    writeLine(m_out, printLine(QDateTime::currentDateTime(), sender, message));
}

void DatagramPrinter::complain(const QString& what, const QByteArray& payload, const QHostAddress& sender)
{
    // The payload may be anything; show it escaped and cut short so the terminal stays readable.
    const QByteArray shown = payload.left(80).toPercentEncoding(" :.-_");
    writeLine(m_err, printLine(QDateTime::currentDateTime(), sender,
                               QStringLiteral("%1: %2 bytes \"%3\"").arg(what).arg(payload.size()).arg(QString::fromLatin1(shown))));
}

} // namespace korvo::display
