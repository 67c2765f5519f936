#pragma once

#include "SocketLibrary.h"

// Linux sockets need no start-up: the library always starts, granting version 1.1 and as
// many sockets as the original platform's library offered, and always shuts down.
class LinuxSocketLibrary final : public SocketLibrary
{
public:
    SocketLibraryStart WSAStartup(quint16 requestedVersion) override;
    qint32 WSACleanup() override;
};
