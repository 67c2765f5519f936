#include "CheckParameters.h"

#include "OpenFilesLimit.h"
#include "TextNumber.h"

std::optional<int> CheckJobsFromText(const QString& text)
{
    return WholeNumberFromText(text, 1, MaxCheckJobs);
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
    return {limit.fitting(asked), limit.soft};
}
