#pragma once

#include "Figures.h"

#include <QString>
#include <QtGlobal>

namespace korvo::bench {

struct DisplayOptions
{
    quint16 projectPort = 0;
    QString projectTrace; ///< stderr of korvo-display run with KORVO_DISPLAY_TRACE=1
    quint16 baselinePort = 0;
    QString baselineTrace; ///< the same lines from the naive display
    int count = 300;
    int intervalMs = 50;
};

/// Sends `count` time datagrams on loopback to both displays, then reads their traces: from the datagram's
/// arrival in the display (its "received" line) to the end of the repaint that shows it ("shown").
Figures runDisplayBench(const DisplayOptions& options);

} // namespace korvo::bench
