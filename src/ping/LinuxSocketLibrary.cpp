#include "LinuxSocketLibrary.h"

namespace {

constexpr quint16 Version11 = 0x0101;
constexpr quint16 MaxSockets = 32767;

} // namespace

SocketLibraryStart LinuxSocketLibrary::WSAStartup(quint16 /*requestedVersion*/)
{
    return {0, Version11, MaxSockets};
}

qint32 LinuxSocketLibrary::WSACleanup()
{
    return 0;
}
