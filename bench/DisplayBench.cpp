// The display programs as a viewer meets them: from a datagram's arrival to its pixels on the screen, and
// under a flood.
//
// "On the screen" is Xvfb's frame buffer, which Xvfb keeps in a file it maps when started with -fbdir: the
// X server draws every request into it, and there is no compositor or GPU after it, so a byte changing in
// that file is the pixel changing on the only screen there is. This process maps the same file and polls a
// band of the display's window (every second row of the middle 80%) every 100 µs, which costs far less than
// an XGetImage round trip through the very server that has to draw the frame.

#include "DisplayBench.h"

#include "Bench.h"
#include "model/TimeText.h"
#include "protocol/TimeMessage.h"

#include <QFile>
#include <QHash>

#include <arpa/inet.h>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <stdexcept>
#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace korvo::bench {

namespace {

constexpr std::int64_t kMs = 1'000'000;

/// Xvfb's screen as it maps it (an XWD file: a big-endian header, a colour map, then the pixel rows).
class FrameBuffer final
{
public:
    explicit FrameBuffer(const QString& path)
    {
        const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
        struct stat st
        {
        };
        if (fd < 0 || ::fstat(fd, &st) != 0 || st.st_size < 100) {
            if (fd >= 0)
                ::close(fd);
            throw std::runtime_error("cannot open the frame buffer " + path.toStdString());
        }
        m_size = static_cast<std::size_t>(st.st_size);
        void* map = ::mmap(nullptr, m_size, PROT_READ, MAP_SHARED, fd, 0);
        ::close(fd);
        if (map == MAP_FAILED)
            throw std::runtime_error("cannot map the frame buffer");
        m_map = static_cast<const unsigned char*>(map);
        const auto field = [&](int i) {
            std::uint32_t v = 0;
            std::memcpy(&v, m_map + 4 * i, 4);
            return ntohl(v);
        };
        m_width = field(4);
        m_height = field(5);
        m_bytesPerPixel = field(11) / 8;
        m_stride = field(12);
        m_pixels = m_map + field(0) + std::size_t { field(19) } * 12; // header, then 12 bytes per colour
        if (m_bytesPerPixel == 0 || m_pixels + std::size_t { m_stride } * m_height > m_map + m_size)
            throw std::runtime_error("the frame buffer is not an XWD image of the screen");
    }
    ~FrameBuffer() { ::munmap(const_cast<unsigned char*>(m_map), m_size); }
    FrameBuffer(const FrameBuffer&) = delete;
    FrameBuffer& operator=(const FrameBuffer&) = delete;

    /// The watched rows of a window as they are now.
    [[nodiscard]] std::vector<unsigned char> snapshot(const QRect& window) const
    {
        std::vector<unsigned char> out;
        forRows(window, [&](const unsigned char* row, std::size_t bytes) {
            out.insert(out.end(), row, row + bytes);
            return true;
        });
        return out;
    }
    /// CLOCK_REALTIME of the first poll at which the rows differ from (or, with `equal`, match) `image`.
    [[nodiscard]] std::optional<std::int64_t> waitFor(const QRect& window, const std::vector<unsigned char>& image,
                                                      bool equal, std::int64_t timeoutNs) const
    {
        const std::int64_t until = nowNs(CLOCK_MONOTONIC) + timeoutNs;
        for (;;) {
            std::size_t at = 0;
            const bool same = forRows(window, [&](const unsigned char* row, std::size_t bytes) {
                const bool rowSame = at + bytes <= image.size() && std::memcmp(row, image.data() + at, bytes) == 0;
                at += bytes;
                return rowSame;
            });
            if (same == equal)
                return nowNs(CLOCK_REALTIME);
            if (nowNs(CLOCK_MONOTONIC) > until)
                return std::nullopt;
            const timespec pause { 0, 100'000 };
            ::nanosleep(&pause, nullptr);
        }
    }

private:
    /// Calls `row` for every watched row until it returns false; true when it never did.
    template <class Row> bool forRows(const QRect& window, Row row) const
    {
        const QRect r = window.intersected(QRect(0, 0, static_cast<int>(m_width), static_cast<int>(m_height)));
        for (int y = r.top() + r.height() / 10; y < r.top() + r.height() * 9 / 10; y += 2) {
            const unsigned char* p = m_pixels + std::size_t { m_stride } * static_cast<std::size_t>(y)
                + std::size_t { m_bytesPerPixel } * static_cast<std::size_t>(r.left());
            if (!row(p, std::size_t { m_bytesPerPixel } * static_cast<std::size_t>(r.width())))
                return false;
        }
        return true;
    }

    const unsigned char* m_map = nullptr;
    std::size_t m_size = 0;
    const unsigned char* m_pixels = nullptr;
    std::uint32_t m_width = 0;
    std::uint32_t m_height = 0;
    std::uint32_t m_bytesPerPixel = 0;
    std::uint32_t m_stride = 0;
};

class Sender final
{
public:
    explicit Sender(std::uint32_t to)
        : m_fd(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0))
    {
        const int on = 1;
        ::setsockopt(m_fd, SOL_SOCKET, SO_BROADCAST, &on, sizeof on);
        m_to.sin_family = AF_INET;
        m_to.sin_addr.s_addr = htonl(to);
    }
    ~Sender() { ::close(m_fd); }
    Sender(const Sender&) = delete;
    Sender& operator=(const Sender&) = delete;

    bool send(const QByteArray& payload, std::uint16_t port)
    {
        m_to.sin_port = htons(port);
        return ::sendto(m_fd, payload.constData(), static_cast<std::size_t>(payload.size()), 0,
                        reinterpret_cast<const sockaddr*>(&m_to), sizeof m_to)
            == payload.size();
    }

private:
    int m_fd;
    sockaddr_in m_to {};
};

QByteArray timeText(int period, int seconds)
{
    return protocol::timeMessage(static_cast<std::int16_t>(period),
                                 model::clockText(seconds / 60 % 100, seconds % 60))
        .toLatin1();
}

/// "shown PAYLOAD NS" lines of a display's trace: payload to CLOCK_MONOTONIC ns at the end of its paint.
QHash<QByteArray, std::int64_t> paintEnds(const QString& path)
{
    QHash<QByteArray, std::int64_t> out;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return out;
    for (const QByteArray& line : file.readAll().split('\n')) {
        const QList<QByteArray> f = line.trimmed().split(' ');
        if (f.size() == 3 && f[0] == "shown" && !out.contains(f[1]))
            out.insert(f[1], f[2].toLongLong());
    }
    return out;
}

/// Datagrams the kernel dropped because a socket on `port` was full (/proc/net/udp, this namespace).
std::int64_t udpDrops(std::uint16_t port)
{
    QFile file(QStringLiteral("/proc/net/udp"));
    std::int64_t drops = 0;
    if (!file.open(QIODevice::ReadOnly))
        return -1;
    const QList<QByteArray> lines = file.readAll().split('\n');
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QList<QByteArray> f = lines[i].simplified().split(' ');
        bool ok = false;
        if (f.size() >= 13 && f[1].mid(f[1].indexOf(':') + 1).toUInt(&ok, 16) == port && ok)
            drops += f.last().toLongLong();
    }
    return drops;
}

} // namespace

QJsonArray displayLatencyFigures(const DisplayOptions& o)
{
    const FrameBuffer screen(o.framebuffer);
    const DisplayTarget* targets[] = { &o.korvo, &o.baseline };
    StampedSocket korvoTap(INADDR_ANY, o.korvo.port);
    StampedSocket baselineTap(INADDR_ANY, o.baseline.port);
    Sender sender(o.broadcast);
    constexpr int kWarmUp = 5; // the first datagram also changes the status line; a few to settle
    std::vector<std::pair<QByteArray, std::int64_t>> shots[2];
    int unseen[2] = { 0, 0 };
    progress(QStringLiteral("displays: %1 datagrams to each, 25 ms apart, alternately").arg(o.count));
    const std::int64_t start = nowNs(CLOCK_MONOTONIC);
    for (int n = 0; n < o.count + kWarmUp; ++n) {
        for (std::size_t t = 0; t < 2; ++t) {
            sleepUntil(start + (2 * n + static_cast<std::int64_t>(t)) * 25 * kMs);
            const QByteArray text = timeText(1, n + 1);
            const std::vector<unsigned char> before = screen.snapshot(targets[t]->window);
            sender.send(text, targets[t]->port);
            const auto pixels = screen.waitFor(targets[t]->window, before, false, 1000 * kMs);
            if (n >= kWarmUp && pixels)
                shots[t].emplace_back(text, *pixels);
            unseen[t] += n >= kWarmUp && !pixels ? 1 : 0;
        }
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    korvoTap.close();
    baselineTap.close();

    const std::int64_t realtime = realtimeOffsetNs();
    const StampedSocket* taps[] = { &korvoTap, &baselineTap };
    std::vector<double> pixelsMs[2];
    std::vector<double> paintMs[2];
    for (std::size_t t = 0; t < 2; ++t) {
        QHash<QByteArray, std::int64_t> arrival;
        for (const StampedSocket::Arrival& a : taps[t]->arrivals())
            arrival.insert(a.payload, a.stampNs);
        const QHash<QByteArray, std::int64_t> painted = paintEnds(targets[t]->trace);
        for (const auto& [payload, shown] : shots[t]) {
            if (!arrival.contains(payload))
                continue;
            pixelsMs[t].push_back(static_cast<double>(shown - arrival[payload]) / 1e6);
            if (painted.contains(payload))
                paintMs[t].push_back(static_cast<double>(painted[payload] - (arrival[payload] - realtime)) / 1e6);
        }
    }
    const QString counts = QStringLiteral("%1 datagrams to each; pixels seen for %2 vs %3 (%4 vs %5 never changed the "
                                          "screen within 1 s)")
                               .arg(o.count)
                               .arg(pixelsMs[0].size())
                               .arg(pixelsMs[1].size())
                               .arg(unseen[0])
                               .arg(unseen[1]);
    QJsonArray out;
    out.append(figure(QStringLiteral("display_pixels_p50"), QStringLiteral("Datagram arrival to pixels p50"),
                      QStringLiteral("ms"), percentile(pixelsMs[0], 0.5), percentile(pixelsMs[1], 0.5), std::nullopt,
                      std::nullopt, counts));
    out.append(figure(QStringLiteral("display_pixels_p99"), QStringLiteral("Datagram arrival to pixels p99"),
                      QStringLiteral("ms"), percentile(pixelsMs[0], 0.99), percentile(pixelsMs[1], 0.99), std::nullopt,
                      Goal { "lt", 16, {} },
                      QStringLiteral("the goal: within one frame of a 60 Hz screen; the frame buffer is polled every "
                                     "0.1 ms, which bounds the resolution")));
    out.append(figure(QStringLiteral("display_pixels_max"), QStringLiteral("Datagram arrival to pixels max"),
                      QStringLiteral("ms"), percentile(pixelsMs[0], 1), percentile(pixelsMs[1], 1), std::nullopt));
    out.append(figure(QStringLiteral("display_paint_p99"), QStringLiteral("Datagram arrival to end of paintEvent p99"),
                      QStringLiteral("ms"), percentile(paintMs[0], 0.99), percentile(paintMs[1], 0.99), std::nullopt,
                      std::nullopt,
                      QStringLiteral("from the display's own trace; p50 %1 vs %2 ms. The rest, to the pixels, is the "
                                     "frame's way through the X server")
                          .arg(percentile(paintMs[0], 0.5).value_or(-1), 0, 'f', 2)
                          .arg(percentile(paintMs[1], 0.5).value_or(-1), 0, 'f', 2)));
    return out;
}

QJsonArray displayFloodFigures(const DisplayOptions& o)
{
    const FrameBuffer screen(o.framebuffer);
    const DisplayTarget* targets[] = { &o.korvo, &o.baseline };
    Sender sender(ipv4(127, 0, 0, 1));
    const QByteArray last = timeText(2, 5999); // the only period-2 datagram: it looks like nothing before it
    std::optional<double> cpu[2], dropped[2], growth[2], lastMs[2];
    QString notes[2];
    for (std::size_t t = 0; t < 2; ++t) {
        const DisplayTarget& d = *targets[t];
        // What the last datagram looks like on the screen, drawn before the flood.
        const std::vector<unsigned char> blank = screen.snapshot(d.window);
        sender.send(last, d.port);
        (void)screen.waitFor(d.window, blank, false, 1000 * kMs);
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        const std::vector<unsigned char> lastImage = screen.snapshot(d.window);

        progress(QStringLiteral("displays: %1 datagrams per second for %2 s to %3")
                     .arg(o.floodRate)
                     .arg(o.floodSeconds)
                     .arg(t == 0 ? QStringLiteral("korvo-display") : QStringLiteral("the naive display")));
        const std::int64_t drops0 = udpDrops(d.port);
        const ProcessSample a = sampleProcess(d.pid);
        std::optional<ProcessSample> afterOne;
        const std::int64_t start = nowNs(CLOCK_MONOTONIC);
        const int perMs = o.floodRate / 1000;
        const auto ms = static_cast<int>(o.floodSeconds * 1000);
        std::int64_t sent = 0;
        for (int i = 0; i < ms; ++i) {
            sleepUntil(start + i * kMs);
            for (int j = 0; j < perMs; ++j)
                sent += sender.send(timeText(1, static_cast<int>(sent % 6000)), d.port) ? 1 : 0;
            if (i == 1000)
                afterOne = sampleProcess(d.pid);
        }
        const double seconds = static_cast<double>(nowNs(CLOCK_MONOTONIC) - start) / 1e9;
        const ProcessSample b = sampleProcess(d.pid);
        const std::int64_t drops = udpDrops(d.port) - drops0;
        const std::int64_t sentAt = nowNs(CLOCK_REALTIME);
        sender.send(last, d.port);
        const auto shown = screen.waitFor(d.window, lastImage, true, 5000 * kMs);
        if (a.alive && b.alive) {
            cpu[t] = static_cast<double>(b.cpuNs - a.cpuNs) / (seconds * 1e7);
            dropped[t] = 100.0 * static_cast<double>(drops) / static_cast<double>(std::max<std::int64_t>(sent, 1));
            growth[t] = b.rssMiB - afterOne.value_or(a).rssMiB;
        }
        if (shown)
            lastMs[t] = static_cast<double>(*shown - sentAt) / 1e6;
        notes[t] = QStringLiteral("%1 sent in %2 s, RSS %3 -> %4 MiB")
                       .arg(sent)
                       .arg(seconds, 0, 'f', 1)
                       .arg(a.rssMiB, 0, 'f', 1)
                       .arg(b.rssMiB, 0, 'f', 1);
    }
    const QString rate = QStringLiteral(", %1/s for %2 s").arg(o.floodRate).arg(o.floodSeconds);
    QJsonArray out;
    out.append(figure(
        QStringLiteral("flood_cpu"), QStringLiteral("Flood") + rate + QStringLiteral(": CPU"),
        QStringLiteral("% of a core"), cpu[0], cpu[1], std::nullopt, std::nullopt,
        QStringLiteral("time on a CPU of all the display's threads; Korvo: %1; naive: %2").arg(notes[0], notes[1])));
    out.append(figure(QStringLiteral("flood_drops"), QStringLiteral("Flood: dropped by the kernel"),
                      QStringLiteral("%"), dropped[0], dropped[1], std::nullopt, std::nullopt,
                      QStringLiteral("the display's socket was full (/proc/net/udp); harmless while the latest time "
                                     "still reaches the screen")));
    out.append(figure(QStringLiteral("flood_rss"), QStringLiteral("Flood: RSS growth after its first second"),
                      QStringLiteral("MiB"), growth[0], growth[1], std::nullopt, Goal { "lt", 1, {} }));
    out.append(figure(QStringLiteral("flood_last"), QStringLiteral("Flood: last datagram to its pixels"),
                      QStringLiteral("ms"), lastMs[0], lastMs[1], std::nullopt, Goal { "lt", 100, {} },
                      QStringLiteral("sent as the flood ends, the only one of period 2: how far behind the flood left "
                                     "the screen")));
    return out;
}

} // namespace korvo::bench
