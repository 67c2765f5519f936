#pragma once

#include <QString>

// The open-files limit of this process. Every probe and every relayed connection holds a socket,
// so the programs that open thousands raise the soft limit to the hard one, which needs no
// privilege; the hard one is never raised.
struct OpenFilesLimit
{
    qint64 soft = 0;
    qint64 hard = 0;

    static OpenFilesLimit current();
    // Raises the soft limit to the hard one and returns the limit then in force.
    static OpenFilesLimit raised();
};
