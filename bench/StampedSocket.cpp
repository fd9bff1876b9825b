#include "StampedSocket.h"

#include "Bench.h"

#include <arpa/inet.h>
#include <array>
#include <cstring>
#include <netinet/in.h>
#include <poll.h>
#include <stdexcept>
#include <sys/socket.h>
#include <unistd.h>

namespace korvo::bench {

StampedSocket::StampedSocket(std::uint32_t address, std::uint16_t port)
{
    m_fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in a {};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(address);
    a.sin_port = htons(port);
    socklen_t len = sizeof a;
    const int on = 1;
    const int buffer = 4 << 20; // a flood of the display must not be dropped here first
    if (m_fd < 0 || ::setsockopt(m_fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) != 0
        || ::setsockopt(m_fd, SOL_SOCKET, SO_TIMESTAMPNS, &on, sizeof on) != 0
        || ::setsockopt(m_fd, IPPROTO_IP, IP_PKTINFO, &on, sizeof on) != 0
        || ::setsockopt(m_fd, SOL_SOCKET, SO_RCVBUF, &buffer, sizeof buffer) != 0
        || ::bind(m_fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0
        || ::getsockname(m_fd, reinterpret_cast<sockaddr*>(&a), &len) != 0) {
        const std::string why = std::strerror(errno);
        if (m_fd >= 0)
            ::close(m_fd);
        throw std::runtime_error("cannot bind a receiving socket to port " + std::to_string(port) + ": " + why);
    }
    m_port = ntohs(a.sin_port);
    m_thread = std::thread([this] { run(); });
}

StampedSocket::~StampedSocket()
{
    close();
}

std::vector<StampedSocket::Arrival> StampedSocket::arrivals() const
{
    const std::lock_guard lock(m_mutex);
    return m_arrivals;
}

void StampedSocket::close()
{
    m_stop = true;
    if (m_thread.joinable())
        m_thread.join();
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
}

void StampedSocket::run()
{
    std::array<char, 2048> buffer {};
    while (!m_stop) {
        pollfd p { m_fd, POLLIN, 0 };
        if (::poll(&p, 1, 20) <= 0)
            continue;
        for (;;) { // drain the queue: a burst is read in one wake-up
            iovec io { buffer.data(), buffer.size() };
            alignas(cmsghdr) std::array<char, CMSG_SPACE(sizeof(timespec)) + CMSG_SPACE(sizeof(in_pktinfo))> control {};
            msghdr m {};
            m.msg_iov = &io;
            m.msg_iovlen = 1;
            m.msg_control = control.data();
            m.msg_controllen = control.size();
            const ssize_t n = ::recvmsg(m_fd, &m, MSG_DONTWAIT);
            if (n < 0)
                break;
            Arrival arrival { QByteArray(buffer.data(), n), 0, 0 };
            for (cmsghdr* c = CMSG_FIRSTHDR(&m); c != nullptr; c = CMSG_NXTHDR(&m, c)) {
                if (c->cmsg_level == SOL_SOCKET && c->cmsg_type == SCM_TIMESTAMPNS) {
                    timespec ts {};
                    std::memcpy(&ts, CMSG_DATA(c), sizeof ts);
                    arrival.stampNs = nsOf(ts);
                } else if (c->cmsg_level == IPPROTO_IP && c->cmsg_type == IP_PKTINFO) {
                    in_pktinfo info {};
                    std::memcpy(&info, CMSG_DATA(c), sizeof info);
                    arrival.destination = ntohl(info.ipi_addr.s_addr);
                }
            }
            const std::lock_guard lock(m_mutex);
            m_arrivals.push_back(std::move(arrival));
        }
    }
}

} // namespace korvo::bench
