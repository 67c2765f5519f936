#pragma once

#include "CheckParameters.h"
#include "Judge.h"
#include "ProbeResult.h"

#include <QCommandLineOption>

#include <optional>

class Console;
class QCommandLineParser;

// The options with which check and serve probe proxies: how many at once, how long each may
// take, and the judge.
class ProbeOptions final
{
public:
    // Each probe holds one connection. 256 at once, each given 6 seconds, start some 40 new
    // connections a second at most: a home router's table of connections (often 4 096 to
    // 16 384 entries, an unanswered attempt kept for two minutes) keeps room for the household.
    static constexpr int DefaultJobs = DefaultCheckJobs;
    static constexpr int MaxJobs = MaxCheckJobs;
    static constexpr int MaxTimeoutSeconds = MaxProbeTimeoutSeconds;

    QList<QCommandLineOption> options() const { return {m_jobsOption, m_timeoutOption, m_judgeOption}; }
    // The lines --help gives them.
    static QString help();
    // `expect` is what the judge's page must hold instead of echoing the request.
    std::optional<QString> read(const QCommandLineParser& parsed, const QByteArray& expect = {});

    const std::optional<Judge>& judge() const { return m_judge; }
    const ProbeSettings& settings() const { return m_settings; }
    // The jobs that fit this process's open-files limit, raised to the hard limit first; told on
    // standard error when they are fewer than asked.
    int fittedJobs(Console& console) const;

private:
    const QCommandLineOption m_jobsOption{QStringLiteral("jobs"), {}, QStringLiteral("N")};
    const QCommandLineOption m_timeoutOption{QStringLiteral("timeout"), {}, QStringLiteral("SECONDS")};
    const QCommandLineOption m_judgeOption{QStringLiteral("judge"), {}, QStringLiteral("URL")};
    int m_jobs = DefaultJobs;
    ProbeSettings m_settings;
    std::optional<Judge> m_judge;
};
