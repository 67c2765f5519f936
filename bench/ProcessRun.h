#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QStringList>
#include <QThread>

#include <fcntl.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <vector>

// Whole programs run from a benchmark: their wall time, and the CPU time and peak memory the
// kernel accounts to them.

struct Finished
{
    int exitCode = -1;
    long peakKiB = 0;
    double cpuSeconds = 0; // user and system time, which other work on the machine does not stretch
    double wallSeconds = 0;
};

inline double Seconds(const timeval& time)
{
    return double(time.tv_sec) + double(time.tv_usec) / 1e6;
}

// Starts a program with its standard output going to `output` (thrown away when empty) and its
// standard error thrown away; 0 when it cannot start. The program ends with this one, however
// this one ends: no server outlives a benchmark.
inline pid_t Spawn(const QStringList& command, const QByteArray& output = {})
{
    std::vector<QByteArray> words;
    for (const QString& word : command)
        words.push_back(word.toLocal8Bit());
    std::vector<char*> argv;
    for (QByteArray& word : words)
        argv.push_back(word.data());
    argv.push_back(nullptr);
    const pid_t pid = fork();
    if (pid == 0) {
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        const int null = open("/dev/null", O_WRONLY);
        const int out = output.isEmpty() ? null : open(output.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        dup2(out, STDOUT_FILENO);
        dup2(null, STDERR_FILENO);
        execvp(argv.front(), argv.data());
        _exit(127);
    }
    return std::max<pid_t>(pid, 0);
}

// Waits until a spawned server has written to its output (it writes once it listens, or once
// it serves), `limit` at most; whether it did.
inline bool WaitForOutput(const QByteArray& output, std::chrono::milliseconds limit = std::chrono::seconds(2))
{
    constexpr std::chrono::milliseconds Poll{20};
    const auto written = [&output] { return QFileInfo(QString::fromLocal8Bit(output)).size() > 0; };
    for (auto waited = std::chrono::milliseconds(0); waited < limit && !written(); waited += Poll)
        QThread::msleep(Poll.count());
    return written();
}

// Runs a program to its end; the peak resident memory is the kernel's own account of it.
inline Finished Run(const QStringList& command, const QByteArray& output = {})
{
    QElapsedTimer clock;
    clock.start();
    const pid_t pid = Spawn(command, output);
    if (pid == 0)
        return {};
    int status = 0;
    rusage usage{};
    if (wait4(pid, &status, 0, &usage) != pid || !WIFEXITED(status))
        return {};
    return {WEXITSTATUS(status), usage.ru_maxrss, Seconds(usage.ru_utime) + Seconds(usage.ru_stime),
            double(clock.nsecsElapsed()) / 1e9};
}
