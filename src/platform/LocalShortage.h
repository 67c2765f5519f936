#pragma once

#include <system_error>

// Whether an error tells of this machine running short — of open files, buffer space, memory or
// local ports — rather than of the host at the other end: a probe that meets one has learned
// nothing of its proxy.
inline bool IsLocalShortage(const std::error_code& error)
{
    return error == std::errc::too_many_files_open || error == std::errc::too_many_files_open_in_system
        || error == std::errc::no_buffer_space || error == std::errc::not_enough_memory
        || error == std::errc::address_not_available;
}
