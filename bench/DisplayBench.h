#pragma once

#include "StampedSocket.h"

#include <QJsonArray>
#include <QRect>
#include <QString>

#include <cstdint>
#include <sys/types.h>

namespace korvo::bench {

/// A display program under test: where it listens, its process, where its window lies on the screen, and
/// (latency only) the file its "received"/"shown" trace lines go to.
struct DisplayTarget
{
    std::uint16_t port = 0;
    pid_t pid = 0;
    QRect window;
    QString trace;
};

struct DisplayOptions
{
    QString framebuffer; ///< the screen as Xvfb keeps it with -fbdir: an XWD file it maps and draws into
    DisplayTarget korvo;
    DisplayTarget baseline;
    std::uint32_t broadcast = ipv4(192, 168, 0, 255);
    int count = 200; ///< latency: datagrams to each display
    double floodSeconds = 8; ///< flood: how long, to each display in turn
    int floodRate = 20000; ///< datagrams per second
};

/// Datagram arrival (the kernel's stamp on a socket beside the display's, both hearing one broadcast) to the
/// first frame-buffer poll that shows changed pixels in the display's window, and to the end of its paint.
[[nodiscard]] QJsonArray displayLatencyFigures(const DisplayOptions& options);

/// A flood of each display in turn: its CPU, the datagrams the kernel dropped at its socket, its memory, and
/// how long after the flood the last datagram's pixels appear.
[[nodiscard]] QJsonArray displayFloodFigures(const DisplayOptions& options);

} // namespace korvo::bench
