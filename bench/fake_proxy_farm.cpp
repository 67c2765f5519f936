// A farm of fake proxies for the check benchmarks: one process, one thread, epoll, so that the
// fakes are never what a measurement measures. It listens on 0.0.0.0 at the ports given and is
// meant to run in a network namespace of its own whose only interface is the loopback, where
// every address of 127.0.0.0/8 reaches it: the address a client connects to picks the fake.
//
//   127.1.x.y  a proxy that answers at once. Whatever it is sent first (an HTTP request in
//              absolute or origin form, CONNECT, a SOCKS5 greeting, a SOCKS4 request) it answers
//              as a working proxy would, and it is its own judge: a GET gets a judge's page that
//              echoes the request line's target as REQUEST_URI and, as REMOTE_ADDR, the address
//              the client connected to (the proxy's exit address).
//   127.2.x.y  a proxy that accepts and never answers.
//   any port not listened on refuses.
//
// Usage: fake_proxy_farm PORT... ; prints "ready" on standard output once it listens.

#include "FakeServer.h"

#include <arpa/inet.h>
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
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

namespace {

constexpr std::size_t RequestCap = 8192;

enum class Stage { First, Socks5Request, Judge, Silent };

struct Connection
{
    int fd = -1;
    Stage stage = Stage::First;
    std::string in;
    std::string exitAddress;
};

std::string LocalAddress(int fd)
{
    sockaddr_in local{};
    socklen_t size = sizeof local;
    getsockname(fd, reinterpret_cast<sockaddr*>(&local), &size);
    char text[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &local.sin_addr, text, sizeof text);
    return text;
}

// The reply is small and the socket's buffer empty: one write sends it whole.
void Send(int fd, const std::string& bytes)
{
    (void)!write(fd, bytes.data(), bytes.size());
}

std::string JudgePage(const std::string& target, const std::string& remoteAddress)
{
    std::string uri = target;
    if (uri.rfind("http://", 0) == 0) {
        const std::size_t path = uri.find('/', 7);
        uri = path == std::string::npos ? "/" : uri.substr(path);
    }
    const std::string body = "REMOTE_ADDR = " + remoteAddress
        + "\nREMOTE_PORT = 1\nREQUEST_METHOD = GET\nREQUEST_URI = " + uri + "\nSERVER_PROTOCOL = HTTP/1.1\n";
    return "HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\nContent-Length: " + std::to_string(body.size())
        + "\r\nConnection: close\r\n\r\n" + body;
}

class Farm
{
public:
    explicit Farm(const std::vector<int>& ports)
    {
        m_epoll = epoll_create1(EPOLL_CLOEXEC);
        for (const int port : ports) {
            const int fd = Listen(port, "fake_proxy_farm");
            watch(fd, EPOLLIN);
            m_listeners.push_back(fd);
        }
    }

    [[noreturn]] void run()
    {
        std::vector<epoll_event> events(1024);
        for (;;) {
            const int count = epoll_wait(m_epoll, events.data(), int(events.size()), -1);
            for (int n = 0; n < count; ++n) {
                const int fd = events[std::size_t(n)].data.fd;
                if (isListener(fd))
                    acceptAll(fd);
                else
                    readFrom(fd);
            }
        }
    }

private:
    bool isListener(int fd) const
    {
        for (const int listener : m_listeners) {
            if (listener == fd)
                return true;
        }
        return false;
    }

    void watch(int fd, std::uint32_t events)
    {
        epoll_event event{};
        event.events = events;
        event.data.fd = fd;
        epoll_ctl(m_epoll, EPOLL_CTL_ADD, fd, &event);
    }

    void acceptAll(int listener)
    {
        for (;;) {
            const int fd = accept4(listener, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
            if (fd < 0)
                return;
            const int yes = 1;
            setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &yes, sizeof yes);
            Connection& connection = m_connections[fd];
            connection = Connection{fd, Stage::First, {}, LocalAddress(fd)};
            if (connection.exitAddress.rfind("127.2.", 0) == 0)
                connection.stage = Stage::Silent;
            watch(fd, EPOLLIN | EPOLLRDHUP);
        }
    }

    void close(int fd)
    {
        epoll_ctl(m_epoll, EPOLL_CTL_DEL, fd, nullptr);
        ::close(fd);
        m_connections.erase(fd);
    }

    void readFrom(int fd)
    {
        Connection& connection = m_connections[fd];
        char buffer[4096];
        for (;;) {
            const ssize_t got = read(fd, buffer, sizeof buffer);
            if (got == 0 || (got < 0 && errno != EAGAIN && errno != EINTR))
                return close(fd);
            if (got < 0)
                break;
            if (connection.stage != Stage::Silent)
                connection.in.append(buffer, std::size_t(got));
        }
        if (connection.in.size() > RequestCap)
            return close(fd);
        while (answer(connection)) {
        }
    }

    // One message of the client's, if it has come whole; false when it waits for more.
    bool answer(Connection& connection)
    {
        std::string& in = connection.in;
        if (in.empty() || connection.stage == Stage::Silent)
            return false;
        const auto byte = [&in](std::size_t at) { return std::uint8_t(in[at]); };
        if (connection.stage == Stage::First && byte(0) == 5) {
            if (in.size() < 2 || in.size() < 2u + byte(1))
                return false;
            in.erase(0, 2u + byte(1));
            Send(connection.fd, std::string("\x05\x00", 2));
            connection.stage = Stage::Socks5Request;
            return true;
        }
        if (connection.stage == Stage::Socks5Request) {
            if (in.size() < 5)
                return false;
            const std::size_t address = byte(3) == 1 ? 4 : byte(3) == 4 ? 16 : 1u + byte(4);
            if (in.size() < 4 + address + 2)
                return false;
            in.erase(0, 4 + address + 2);
            Send(connection.fd, std::string("\x05\x00\x00\x01\x7f\x00\x00\x01\x00\x50", 10));
            connection.stage = Stage::Judge;
            return true;
        }
        if (connection.stage == Stage::First && byte(0) == 4) {
            const std::size_t user = in.find('\0', 8);
            if (in.size() < 9 || user == std::string::npos)
                return false;
            std::size_t end = user + 1;
            const bool byName = byte(4) == 0 && byte(5) == 0 && byte(6) == 0 && byte(7) != 0;
            if (byName) {
                const std::size_t name = in.find('\0', end);
                if (name == std::string::npos)
                    return false;
                end = name + 1;
            }
            in.erase(0, end);
            Send(connection.fd, std::string("\x00\x5a\x00\x50\x7f\x00\x00\x01", 8));
            connection.stage = Stage::Judge;
            return true;
        }
        const std::size_t headerEnd = in.find("\r\n\r\n");
        if (headerEnd == std::string::npos)
            return false;
        const std::string requestLine = in.substr(0, in.find("\r\n"));
        in.erase(0, headerEnd + 4);
        const std::size_t space = requestLine.find(' ');
        const std::string method = requestLine.substr(0, space);
        const std::string target = requestLine.substr(space + 1, requestLine.rfind(' ') - space - 1);
        if (method == "CONNECT" && connection.stage == Stage::First) {
            Send(connection.fd, "HTTP/1.1 200 Connection established\r\n\r\n");
            connection.stage = Stage::Judge;
            return true;
        }
        Send(connection.fd, JudgePage(target, connection.exitAddress));
        close(connection.fd);
        return false;
    }

    int m_epoll = -1;
    std::vector<int> m_listeners;
    std::unordered_map<int, Connection> m_connections;
};

} // namespace

int main(int argc, char* argv[])
{
    PrepareFakeServer();
    std::vector<int> ports;
    for (int n = 1; n < argc; ++n)
        ports.push_back(std::atoi(argv[n]));
    Farm farm(ports);
    std::puts("ready");
    std::fflush(stdout);
    farm.run();
}
