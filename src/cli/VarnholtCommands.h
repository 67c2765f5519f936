#pragma once

#include "CliCommand.h"

#include <memory>
#include <vector>

class Console;
class EventYielder;
class IcmpLibrary;
class PageFetcher;
class SocketLibrary;

// The real fetcher, yielder and libraries the commands are given; the program builds them.
struct CliServices
{
    PageFetcher& fetcher;
    EventYielder& yielder;
    IcmpLibrary& icmp;
    SocketLibrary& sockets;
};

// Every verb of varnholt-cli, in the order the usage lists them: a new verb is one line here.
std::vector<std::unique_ptr<CliCommand>> VarnholtCommands(Console& console, const CliServices& services);
