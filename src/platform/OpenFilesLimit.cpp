#include "OpenFilesLimit.h"

#include <sys/resource.h>

OpenFilesLimit OpenFilesLimit::current()
{
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) != 0)
        return {};
    const auto value = [](rlim_t number) { return number == RLIM_INFINITY ? qint64{1} << 31 : qint64(number); };
    return {value(limit.rlim_cur), value(limit.rlim_max)};
}

OpenFilesLimit OpenFilesLimit::raised()
{
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur != limit.rlim_max) {
        limit.rlim_cur = limit.rlim_max;
        setrlimit(RLIMIT_NOFILE, &limit);
    }
    return current();
}
