// Receives the clock's datagrams for the black-box tests and prints one line per datagram:
//   <milliseconds on CLOCK_MONOTONIC> <destination address> <payload>
// The first line, "# listening <port>", tells a script that the socket is bound.
// Usage: korvo-udp-receiver [port] [seconds]   (defaults 7699 and 60; it exits after that long)

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

long long monotonicMs()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

int fail(const char* what)
{
    std::fprintf(stderr, "korvo-udp-receiver: %s: %s\n", what, std::strerror(errno));
    return 2;
}

} // namespace

int main(int argc, char* argv[])
{
    const long port = argc > 1 ? std::strtol(argv[1], nullptr, 10) : 7699;
    const long seconds = argc > 2 ? std::strtol(argv[2], nullptr, 10) : 60;
    if (port <= 0 || port > 65535 || seconds <= 0) {
        std::fprintf(stderr, "usage: korvo-udp-receiver [port] [seconds]\n");
        return 2;
    }

    const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
    if (fd < 0)
        return fail("socket");
    const int on = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    ::setsockopt(fd, SOL_SOCKET, SO_BROADCAST, &on, sizeof on);
    ::setsockopt(fd, IPPROTO_IP, IP_PKTINFO, &on, sizeof on);
    sockaddr_in any{};
    any.sin_family = AF_INET;
    any.sin_port = htons(static_cast<std::uint16_t>(port));
    any.sin_addr.s_addr = htonl(INADDR_ANY);
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&any), sizeof any) != 0)
        return fail("bind");
    std::printf("# listening %ld\n", port);
    std::fflush(stdout);

    const long long until = monotonicMs() + seconds * 1000;
    for (;;) {
        const long long left = until - monotonicMs();
        if (left <= 0)
            break;
        pollfd pfd{fd, POLLIN, 0};
        const int ready = ::poll(&pfd, 1, static_cast<int>(left));
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready < 0)
            return fail("poll");
        if (ready == 0)
            break;

        char payload[2048];
        char control[256];
        iovec iov{payload, sizeof payload};
        msghdr msg{};
        msg.msg_iov = &iov;
        msg.msg_iovlen = 1;
        msg.msg_control = control;
        msg.msg_controllen = sizeof control;
        const ssize_t n = ::recvmsg(fd, &msg, 0);
        if (n < 0)
            return fail("recvmsg");
        char destination[INET_ADDRSTRLEN] = "?";
        for (cmsghdr* c = CMSG_FIRSTHDR(&msg); c != nullptr; c = CMSG_NXTHDR(&msg, c)) {
            if (c->cmsg_level == IPPROTO_IP && c->cmsg_type == IP_PKTINFO) {
                in_pktinfo info{};
                std::memcpy(&info, CMSG_DATA(c), sizeof info);
                ::inet_ntop(AF_INET, &info.ipi_addr, destination, sizeof destination);
            }
        }
        std::printf("%lld %s %s\n", monotonicMs(), destination,
                    std::string(payload, static_cast<std::size_t>(n)).c_str());
        std::fflush(stdout);
    }
    ::close(fd);
    return 0;
}
