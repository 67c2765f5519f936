// The far end of the local server's benchmarks, one process, one thread, epoll:
//
//   --proxy PORT          an HTTP proxy that tunnels with CONNECT to any host and port and relays
//                         both ways (anything else is answered 405)
//   --source PORT BYTES   a server that sends BYTES bytes to each client, then closes
//   --idle PORT           a server that accepts and never sends
//
// It listens on 0.0.0.0 and is meant for a network namespace whose only interface is the
// loopback. Prints "ready" once it listens.

#include "FakeServer.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/epoll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unordered_map>
#include <vector>

namespace {

constexpr std::size_t BufferSize = 256 * 1024;
constexpr std::size_t HeadCap = 8192;

enum class Role { ProxyListener, SourceListener, IdleListener, Client, Target, Source, Idle };

struct Connection
{
    Role role = Role::Client;
    int peer = -1; // the other end of a tunnel
    bool tunnelled = false; // a client past its CONNECT
    std::string head;
    std::vector<char> pending; // read from the peer, not yet written here
    long long left = 0; // what a source has still to send
};

class Upstream
{
public:
    Upstream()
        : m_epoll(epoll_create1(EPOLL_CLOEXEC))
        , m_buffer(BufferSize)
    {
    }

    void addListener(Role role, int port, long long bytes = 0)
    {
        const int fd = Listen(port, "fake_upstream");
        m_connections[fd] = Connection{role, -1, false, {}, {}, bytes};
        watch(fd, EPOLLIN, EPOLL_CTL_ADD);
    }

    [[noreturn]] void run()
    {
        std::vector<epoll_event> events(1024);
        for (;;) {
            const int count = epoll_wait(m_epoll, events.data(), int(events.size()), -1);
            for (int n = 0; n < count; ++n) {
                const int fd = events[std::size_t(n)].data.fd;
                const auto found = m_connections.find(fd);
                if (found == m_connections.end())
                    continue;
                if (events[std::size_t(n)].events & EPOLLOUT)
                    writable(fd);
                if (m_connections.count(fd) && (events[std::size_t(n)].events & (EPOLLIN | EPOLLHUP | EPOLLERR)))
                    readable(fd);
            }
        }
    }

private:
    void watch(int fd, std::uint32_t events, int operation = EPOLL_CTL_MOD)
    {
        epoll_event event{};
        event.events = events;
        event.data.fd = fd;
        epoll_ctl(m_epoll, operation, fd, &event);
    }

    void close(int fd)
    {
        const auto found = m_connections.find(fd);
        if (found == m_connections.end())
            return;
        const int peer = found->second.peer;
        m_connections.erase(found);
        epoll_ctl(m_epoll, EPOLL_CTL_DEL, fd, nullptr);
        ::close(fd);
        if (peer >= 0)
            close(peer);
    }

    void accept(int listener, Role role, long long bytes)
    {
        for (;;) {
            const int fd = accept4(listener, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
            if (fd < 0)
                return;
            const int yes = 1;
            setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &yes, sizeof yes);
            m_connections[fd] = Connection{role, -1, false, {}, {}, bytes};
            if (role == Role::Source) {
                watch(fd, EPOLLOUT, EPOLL_CTL_ADD);
            } else {
                watch(fd, EPOLLIN | EPOLLRDHUP, EPOLL_CTL_ADD);
            }
        }
    }

    void readable(int fd)
    {
        Connection& connection = m_connections[fd];
        switch (connection.role) {
        case Role::ProxyListener:
            return accept(fd, Role::Client, 0);
        case Role::SourceListener:
            return accept(fd, Role::Source, connection.left);
        case Role::IdleListener:
            return accept(fd, Role::Idle, 0);
        case Role::Client:
            if (!connection.tunnelled)
                return readHead(fd);
            return relay(fd);
        case Role::Target:
            return relay(fd);
        case Role::Idle:
        case Role::Source: {
            const ssize_t got = read(fd, m_buffer.data(), m_buffer.size());
            if (got == 0 || (got < 0 && errno != EAGAIN))
                close(fd);
            return;
        }
        }
    }

    void readHead(int fd)
    {
        Connection& connection = m_connections[fd];
        const ssize_t got = read(fd, m_buffer.data(), m_buffer.size());
        if (got <= 0)
            return got < 0 && errno == EAGAIN ? void() : close(fd);
        connection.head.append(m_buffer.data(), std::size_t(got));
        const std::size_t end = connection.head.find("\r\n\r\n");
        if (end == std::string::npos)
            return connection.head.size() > HeadCap ? close(fd) : void();
        if (connection.head.rfind("CONNECT ", 0) != 0) {
            const std::string refusal = "HTTP/1.1 405 Method Not Allowed\r\nContent-Length: 0\r\n\r\n";
            (void)!write(fd, refusal.data(), refusal.size());
            return close(fd);
        }
        const std::size_t space = connection.head.find(' ', 8);
        const std::string authority = connection.head.substr(8, space - 8);
        const std::size_t colon = authority.rfind(':');
        sockaddr_in target{};
        target.sin_family = AF_INET;
        target.sin_port = htons(std::uint16_t(std::atoi(authority.c_str() + colon + 1)));
        if (inet_pton(AF_INET, authority.substr(0, colon).c_str(), &target.sin_addr) != 1)
            return close(fd);
        const int onward = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        const int yes = 1;
        setsockopt(onward, IPPROTO_TCP, TCP_NODELAY, &yes, sizeof yes);
        if (connect(onward, reinterpret_cast<sockaddr*>(&target), sizeof target) != 0 && errno != EINPROGRESS) {
            ::close(onward);
            return close(fd);
        }
        connection.tunnelled = true;
        connection.peer = onward;
        const std::string early = connection.head.substr(end + 4);
        m_connections[onward] = Connection{Role::Target, fd, true, {}, {early.begin(), early.end()}, 0};
        watch(onward, EPOLLOUT | EPOLLIN | EPOLLRDHUP, EPOLL_CTL_ADD);
        const std::string granted = "HTTP/1.1 200 Connection established\r\n\r\n";
        (void)!write(fd, granted.data(), granted.size());
    }

    // What one side sends is written to the other; what the other cannot take yet waits, and
    // the sending side is not read meanwhile.
    void relay(int fd)
    {
        Connection& connection = m_connections[fd];
        Connection& peer = m_connections[connection.peer];
        if (!peer.pending.empty())
            return watch(fd, EPOLLRDHUP);
        const ssize_t got = read(fd, m_buffer.data(), m_buffer.size());
        if (got == 0 || (got < 0 && errno != EAGAIN && errno != EINTR))
            return close(fd);
        if (got < 0)
            return;
        const ssize_t written = write(connection.peer, m_buffer.data(), std::size_t(got));
        const std::size_t done = written > 0 ? std::size_t(written) : 0;
        if (done < std::size_t(got)) {
            peer.pending.assign(m_buffer.data() + done, m_buffer.data() + got);
            watch(connection.peer, EPOLLIN | EPOLLOUT | EPOLLRDHUP);
            watch(fd, EPOLLRDHUP);
        }
    }

    void writable(int fd)
    {
        Connection& connection = m_connections[fd];
        if (connection.role == Role::Source) {
            while (connection.left > 0) {
                const std::size_t piece =
                    std::size_t(std::min<long long>(connection.left, static_cast<long long>(m_buffer.size())));
                const ssize_t written = write(fd, m_buffer.data(), piece);
                if (written <= 0)
                    return written < 0 && errno == EAGAIN ? void() : close(fd);
                connection.left -= written;
            }
            // Closed only once the client has, so that its request unread never turns the end into a reset.
            shutdown(fd, SHUT_WR);
            return watch(fd, EPOLLIN | EPOLLRDHUP);
        }
        if (connection.pending.empty())
            return watch(fd, EPOLLIN | EPOLLRDHUP);
        const ssize_t written = write(fd, connection.pending.data(), connection.pending.size());
        if (written < 0)
            return errno == EAGAIN ? void() : close(fd);
        connection.pending.erase(connection.pending.begin(), connection.pending.begin() + written);
        if (connection.pending.empty()) {
            watch(fd, EPOLLIN | EPOLLRDHUP);
            watch(connection.peer, EPOLLIN | EPOLLRDHUP);
        }
    }

    int m_epoll;
    std::vector<char> m_buffer;
    std::unordered_map<int, Connection> m_connections;
};

} // namespace

int main(int argc, char* argv[])
{
    PrepareFakeServer();
    Upstream upstream;
    for (int n = 1; n + 1 < argc; ++n) {
        const std::string option = argv[n];
        if (option == "--proxy")
            upstream.addListener(Role::ProxyListener, std::atoi(argv[++n]));
        else if (option == "--idle")
            upstream.addListener(Role::IdleListener, std::atoi(argv[++n]));
        else if (option == "--source" && n + 2 < argc) {
            const int port = std::atoi(argv[++n]);
            upstream.addListener(Role::SourceListener, port, std::atoll(argv[++n]));
        }
    }
    std::puts("ready");
    std::fflush(stdout);
    upstream.run();
}
