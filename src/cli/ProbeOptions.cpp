#include "ProbeOptions.h"

#include "Console.h"
#include "PlainText.h"

#include <QCommandLineParser>

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
        const std::optional<int> jobs = CheckJobsFromText(parsed.value(m_jobsOption));
        if (!jobs)
            return u"invalid --jobs value \"%1\": expected a whole number from 1 to %2"_s.arg(
                DisplayText(parsed.value(m_jobsOption)), QString::number(MaxJobs));
        m_jobs = *jobs;
    }
    if (parsed.isSet(m_timeoutOption)) {
        const std::optional<std::chrono::milliseconds> timeout = ProbeTimeoutFromText(parsed.value(m_timeoutOption));
        if (!timeout)
            return u"invalid --timeout value \"%1\": expected seconds from 0.1 to %2"_s.arg(
                DisplayText(parsed.value(m_timeoutOption)), QString::number(MaxTimeoutSeconds));
        m_settings.timeout = *timeout;
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
    const FittedJobs fitted = FitJobs(m_jobs);
    if (fitted.jobs < m_jobs)
        console.tell(
            u"this process may open %1 files at most (its hard limit): checking %2 proxies at once, not %3"_s.arg(
                QString::number(fitted.openFiles), QString::number(fitted.jobs), QString::number(m_jobs)));
    return fitted.jobs;
}
