#pragma once

#include "CliArguments.h"

class Console;
class IcmpLibrary;
class SocketLibrary;

// `varnholt-cli ping`: the main window's ping of one address. The verdict the window shows in
// a message box is printed on standard output, one line for each of its lines; anything the
// ping had to say before it (the system allows no ICMP socket, the socket library failed)
// goes to standard error. Alive is 0, dead is 1.
int RunPing(const PingRequest& request, Console& console, IcmpLibrary& icmp, SocketLibrary& sockets);
