#pragma once

#include <QString>

#include <chrono>
#include <optional>

// How many proxies are checked at once and how long one may take, read by the same rules
// wherever a user types them: on the command line and in the window.
constexpr int DefaultCheckJobs = 256;
constexpr int MaxCheckJobs = 10000;
constexpr int MaxProbeTimeoutSeconds = 3600;

// A whole number from 1 to MaxCheckJobs; nothing for any other text.
std::optional<int> CheckJobsFromText(const QString& text);
// Seconds from 0.1 to MaxProbeTimeoutSeconds, fractions allowed; nothing for any other text.
std::optional<std::chrono::milliseconds> ProbeTimeoutFromText(const QString& text);

// The jobs that fit this process's open-files limit, which is raised to the hard one first:
// every probe holds a socket, and the program needs a few descriptors besides.
struct FittedJobs
{
    int jobs = 1;
    qint64 openFiles = 0; // the limit then in force
};
FittedJobs FitJobs(int asked);
