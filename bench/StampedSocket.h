#pragma once

#include <QByteArray>

#include <atomic>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

namespace korvo::bench {

/// A UDP socket whose own thread reads every datagram with the kernel's receive stamp and the address it
/// was sent to. The stamp is taken as the datagram is queued, so an arrival is known exactly however late
/// anyone reads it, and several senders can share one socket told apart by destination.
class StampedSocket final
{
public:
    struct Arrival
    {
        QByteArray payload;
        std::int64_t stampNs = 0; ///< CLOCK_REALTIME, as the kernel stamps
        std::uint32_t destination = 0; ///< IPv4, host order
    };

    /// Binds `address`:`port` (host order; port 0 picks one), shared with other sockets of the port, so
    /// that it hears broadcasts beside a program listening there. Throws std::runtime_error.
    StampedSocket(std::uint32_t address, std::uint16_t port);
    ~StampedSocket();
    StampedSocket(const StampedSocket&) = delete;
    StampedSocket& operator=(const StampedSocket&) = delete;

    [[nodiscard]] std::uint16_t port() const { return m_port; }
    /// Every arrival so far.
    [[nodiscard]] std::vector<Arrival> arrivals() const;
    /// Stops reading and closes the socket; arrivals() stays.
    void close();

private:
    void run();

    int m_fd = -1;
    std::uint16_t m_port = 0;
    std::atomic<bool> m_stop { false };
    mutable std::mutex m_mutex;
    std::vector<Arrival> m_arrivals;
    std::thread m_thread;
};

/// IPv4 a.b.c.d in host order.
[[nodiscard]] constexpr std::uint32_t ipv4(std::uint32_t a, std::uint32_t b, std::uint32_t c, std::uint32_t d)
{
    return a << 24 | b << 16 | c << 8 | d;
}

} // namespace korvo::bench
