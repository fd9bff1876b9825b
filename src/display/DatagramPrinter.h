#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QHostAddress>
#include <QObject>
#include <QString>

#include <cstdio>

namespace korvo::follow {
class DatagramReceiver;
}

namespace korvo::display {

using follow::DatagramReceiver;

/// "<ISO 8601 local time with ms and offset> <sender> <message>", e.g.
/// "2026-12-06T10:54:23.120+01:00 192.168.0.1 p1t10:00".
[[nodiscard]] QString printLine(const QDateTime& when, const QHostAddress& sender, const QString& message);

/// The display without a window: one line per accepted datagram on out, flushed at once so that a pipe
/// sees it immediately; rejected and ignored datagrams go to err with the reason.
class DatagramPrinter final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(DatagramPrinter)

public:
    DatagramPrinter(DatagramReceiver& receiver, std::FILE* out, std::FILE* err, QObject* parent = nullptr);

private:
    void print(const QHostAddress& sender, const QString& message);
    void complain(const QString& what, const QByteArray& payload, const QHostAddress& sender);

    std::FILE* m_out;
    std::FILE* m_err;
};

} // namespace korvo::display
