#pragma once

// What the benchmarks' epoll fakes (fake_proxy_farm, fake_upstream) share: a process made to
// hold as many connections as it may, and a listening socket on every loopback address.

#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>

#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

// A client that went away is told by the write's error; the open-files limit raised to the hard one.
inline void PrepareFakeServer()
{
    std::signal(SIGPIPE, SIG_IGN);
    rlimit files{};
    getrlimit(RLIMIT_NOFILE, &files);
    files.rlim_cur = files.rlim_max;
    setrlimit(RLIMIT_NOFILE, &files);
}

// A non-blocking listener on the port of every address; ends the process when it cannot listen.
inline int Listen(int port, const char* program)
{
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    const int yes = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(std::uint16_t(port));
    if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || listen(fd, 65535) != 0) {
        std::fprintf(stderr, "%s: cannot listen on port %d\n", program, port);
        std::exit(1);
    }
    return fd;
}
