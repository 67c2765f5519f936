#pragma once

#include <QtGlobal>

#include <algorithm>

// The open-files limit of this process. Every probe and every relayed connection holds a socket,
// so the programs that open thousands raise the soft limit to the hard one, which needs no
// privilege; the hard one is never raised.
struct OpenFilesLimit
{
    qint64 soft = 0;
    qint64 hard = 0;

    static OpenFilesLimit current();
    // Open files a program needs besides its sockets: standard streams, event loops, a file read,
    // a name resolver.
    static constexpr qint64 ProgramFiles = 64;

    // Raises the soft limit to the hard one and returns the limit then in force.
    static OpenFilesLimit raised();
    // How many of the sockets wanted fit this limit beside the program's own files; one at least.
    int fitting(int wanted) const { return int(std::clamp<qint64>(soft - ProgramFiles, 1, wanted)); }
};
