#include "ProbeOptions.h"

#include "Console.h"
#include "OpenFilesLimit.h"
#include "PlainText.h"
#include "TextNumber.h"

#include <QCommandLineParser>

#include <cmath>

using namespace Qt::StringLiterals;

QString ProbeOptions::help()
{
    return uR"(  --jobs N             proxies checked at once (1 to 10000, default 256; fewer when the
                       open-files limit allows fewer)
  --timeout SECONDS    the most one proxy may take (default 6)
  --judge URL          an http:// judge, which prints the request it received (as
                       `varnholt-cli judge` does); a proxy works when the judge's page comes
                       back through it echoing the request's random token
)"_s;
}

std::optional<QString> ProbeOptions::read(const QCommandLineParser& parsed, const QByteArray& expect)
{
    if (parsed.isSet(m_jobsOption)) {
        const std::optional<double> jobs = TextToNumber(parsed.value(m_jobsOption));
        // Written so that a NaN fails every comparison and is refused.
        if (!jobs || !(*jobs >= 1 && *jobs <= MaxJobs) || *jobs != std::floor(*jobs))
            return u"invalid --jobs value \"%1\": expected a whole number from 1 to %2"_s.arg(
                parsed.value(m_jobsOption), QString::number(MaxJobs));
        m_jobs = int(*jobs);
    }
    if (parsed.isSet(m_timeoutOption)) {
        const std::optional<double> seconds = TextToNumber(parsed.value(m_timeoutOption));
        if (!seconds || !(*seconds >= 0.1 && *seconds <= MaxTimeoutSeconds))
            return u"invalid --timeout value \"%1\": expected seconds from 0.1 to %2"_s.arg(
                parsed.value(m_timeoutOption), QString::number(MaxTimeoutSeconds));
        m_settings.timeout = std::chrono::milliseconds(qint64(*seconds * 1000));
    }
    if (parsed.isSet(m_judgeOption)) {
        m_judge = JudgeAt(QUrl(parsed.value(m_judgeOption), QUrl::StrictMode), expect);
        if (!m_judge)
            return u"invalid --judge value \"%1\": expected an http:// URL with a host"_s.arg(
                DisplayText(parsed.value(m_judgeOption)));
    }
    return std::nullopt;
}

int ProbeOptions::fittedJobs(Console& console) const
{
    const OpenFilesLimit limit = OpenFilesLimit::raised();
    const int fitting = limit.fitting(m_jobs);
    if (fitting < m_jobs)
        console.tell(
            u"this process may open %1 files at most (its hard limit): checking %2 proxies at once, not %3"_s.arg(
                QString::number(limit.soft), QString::number(fitting), QString::number(m_jobs)));
    return fitting;
}
