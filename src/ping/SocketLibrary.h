#pragma once

#include <QtGlobal>

// What the socket library grants when it starts.
struct SocketLibraryStart
{
    qint32 status = 0; // 0 when the library started; the two counts below are valid only then
    quint16 version = 0; // the version granted: major number in the low byte, minor in the high
    quint16 maxSockets = 0; // the most sockets the library offers
};

// Starts and shuts down the system's socket library around the use of its sockets.
class SocketLibrary
{
public:
    virtual ~SocketLibrary() = default;

    // Asks for the version word given (major number in the low byte, minor in the high).
    virtual SocketLibraryStart WSAStartup(quint16 requestedVersion) = 0;
    // 0 when the library was shut down; anything else is the failure's number.
    virtual qint32 WSACleanup() = 0;
};
