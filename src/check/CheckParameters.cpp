#include "CheckParameters.h"

#include "OpenFilesLimit.h"
#include "TextNumber.h"

#include <algorithm>
#include <cmath>

namespace {

// Open files the program needs besides its probes: standard streams, the event loops, the
// list being read, the name resolver, the judge.
constexpr qint64 FilesBesideProbes = 64;

} // namespace

std::optional<int> CheckJobsFromText(const QString& text)
{
    const std::optional<double> jobs = TextToNumber(text);
    // Written so that a NaN fails every comparison and is refused.
    if (!jobs || !(*jobs >= 1 && *jobs <= MaxCheckJobs) || *jobs != std::floor(*jobs))
        return std::nullopt;
    return int(*jobs);
}

std::optional<std::chrono::milliseconds> ProbeTimeoutFromText(const QString& text)
{
    const std::optional<double> seconds = TextToNumber(text);
    if (!seconds || !(*seconds >= 0.1 && *seconds <= MaxProbeTimeoutSeconds))
        return std::nullopt;
    return std::chrono::milliseconds(qint64(*seconds * 1000));
}

FittedJobs FitJobs(int asked)
{
    const OpenFilesLimit limit = OpenFilesLimit::raised();
    return {int(std::clamp<qint64>(limit.soft - FilesBesideProbes, 1, asked)), limit.soft};
}
