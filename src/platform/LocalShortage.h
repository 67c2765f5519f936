#pragma once

#include <cerrno>

// Whether a system error (an errno value) tells of this machine running short — of open files,
// buffer space, memory or local ports — rather than of the host at the other end: a probe that
// meets one has learned nothing of its proxy.
inline bool IsLocalShortage(int systemError)
{
    return systemError == EMFILE || systemError == ENFILE || systemError == ENOBUFS || systemError == ENOMEM
        || systemError == EADDRNOTAVAIL;
}
