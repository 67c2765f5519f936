#include "CheckCommand.h"

#include "Console.h"
#include "ExitStatus.h"

#include <QCommandLineParser>
#include <QTimer>

using namespace Qt::StringLiterals;

namespace {

QByteArray ReportLine(const ProxyRecord& proxy, const ProbeResult& result, bool passes)
{
    const QStringList fields{proxy.address,
                             QString::number(proxy.port),
                             ProtocolText(result),
                             VerdictText(result, passes),
                             LevelName(result.level),
                             MillisecondsText(result.connectMs),
                             MillisecondsText(result.totalMs),
                             AnonymityText(result),
                             ExitAddressText(result)};
    return fields.join(u'\t').toUtf8() + "\r\n";
}

} // namespace

CheckCommand::CheckCommand(Console& console, PageFetcher& fetcher)
    : m_console(console)
    , m_input(console, fetcher)
{
}

QString CheckCommand::name() const
{
    return u"check"_s;
}

QString CheckCommand::synopsis() const
{
    return u"[FILE|URL...] [--jobs N] [--timeout SECONDS] [--judge URL] [--expect TEXT] "
           u"[--require reachable|speaks|works] [--anonymity transparent|anonymous|elite] [--report] [--quiet]"_s;
}

QString CheckCommand::help() const
{
    return uR"(checks every proxy of the lists, many at once, and prints the lines of those that pass,
          as they were read; a list is a file, standard input (without FILE, or for -) or an
          http(s) address, its lines in either save format, user:password@host:port or
          scheme://[user:password@]host:port (http, https, socks4, socks4a, socks5, socks5h)
)"_s + ProbeOptions::help()
        + uR"(  --expect TEXT        for a judge that echoes nothing: its page must hold TEXT (a page
                       that anyone can imitate)
  --require LEVEL      reachable (a TCP connection opens), speaks (it answers the HTTP,
                       SOCKS5 or SOCKS4 handshake; the default) or works (the judge's page
                       comes back through it; the default with --judge)
  --anonymity LEVEL    keep only proxies at least this anonymous: transparent, anonymous
                       (the judge sees a proxy) or elite (it sees none); needs an echoing judge
  --report             one tab-separated line per proxy instead: address, port, protocol,
                       verdict, level reached, connect and total time in ms, anonymity and
                       exit address
  -q, --quiet          no progress on standard error
  Ctrl+C stops the check and prints the results so far.
)"_s;
}

QList<QCommandLineOption> CheckCommand::options() const
{
    return m_probing.options() << m_expect << m_require << m_anonymity << m_report << m_quiet;
}

std::optional<QString> CheckCommand::read(const QCommandLineParser& parsed)
{
    m_request.lists = parsed.positionalArguments();
    m_request.report = parsed.isSet(m_report);
    m_request.quiet = parsed.isSet(m_quiet);
    if (std::optional<QString> refused = m_probing.read(parsed, parsed.value(m_expect).toUtf8()))
        return refused;
    const bool judged = m_probing.judge().has_value();
    if (parsed.isSet(m_expect) && !judged)
        return u"--expect goes with --judge only"_s;
    if (judged)
        m_request.required = ProbeLevel::Works;
    if (parsed.isSet(m_require)) {
        const std::optional<ProbeLevel> level = LevelNamed(parsed.value(m_require));
        if (!level)
            return u"invalid --require value \"%1\": expected reachable, speaks or works"_s.arg(
                parsed.value(m_require));
        if (*level == ProbeLevel::Works && !judged)
            return u"--require works needs a --judge to fetch through each proxy"_s;
        m_request.required = *level;
    }
    if (parsed.isSet(m_anonymity)) {
        m_request.anonymity = AnonymityNamed(parsed.value(m_anonymity));
        if (!m_request.anonymity)
            return u"invalid --anonymity value \"%1\": expected transparent, anonymous or elite"_s.arg(
                parsed.value(m_anonymity));
        // Only a judge that echoes the request tells how much a proxy gives away, and only of a
        // proxy that carried the request.
        if (!judged || parsed.isSet(m_expect) || m_request.required != ProbeLevel::Works)
            return u"--anonymity needs a --judge that echoes the request (no --expect) and --require works"_s;
    }
    return std::nullopt;
}

std::optional<int> CheckCommand::prepare()
{
    return m_input.read(m_request.lists);
}

int CheckCommand::run()
{
    ProxyChecker checker(m_probing.settings(), m_probing.judge(), m_probing.fittedJobs(m_console));
    connect(&checker, &ProxyChecker::judgeAnswered, this, &CheckCommand::onJudgeAnswered);
    connect(&checker, &ProxyChecker::checked, this, &CheckCommand::onChecked);
    connect(&checker, &ProxyChecker::jobsLowered, this, [this](int jobs, const QString& reason) {
        m_console.tell(u"this machine ran short (%1): checking %2 proxies at once from now on"_s.arg(
            reason, QString::number(jobs)));
    });
    connect(&checker, &ProxyChecker::finished, this, &CheckCommand::onFinished);
    m_checker = &checker;
    if (!m_probing.judge())
        onJudgeAnswered();
    checker.start(m_input.proxies());
    m_loop.exec();
    m_checker = nullptr;
    flush();
    if (m_progress)
        m_progress->finish();
    if (m_status != ExitStatus::Done)
        return m_status;
    if (m_passing > 0)
        return ExitStatus::Done;
    m_console.tell(m_input.proxies().empty() ? u"the list holds no proxy"_s : u"no proxy passed the check"_s);
    return ExitStatus::No;
}

// The progress starts with the checking of the proxies, once the judge has answered.
void CheckCommand::onJudgeAnswered()
{
    m_progress.emplace(m_console, ProgressReporter::modeFor(m_request.quiet));
    m_progress->start(qsizetype(m_input.proxies().size()));
}

void CheckCommand::interrupt()
{
    if (m_checker && m_checker->isRunning())
        m_checker->stop();
}

void CheckCommand::onFinished(CheckEnding ending, const QString& reason)
{
    switch (ending) {
    case CheckEnding::Completed:
        break;
    case CheckEnding::Stopped:
        // The proxies still being checked have no result: those after them are printed now.
        for (const auto& [index, result] : std::exchange(m_waiting, {}))
            print(m_input.proxies()[std::size_t(index)], result);
        if (m_status == ExitStatus::Done)
            m_status = ExitStatus::Stopped;
        break;
    case CheckEnding::JudgeFailed:
        m_console.tell(reason);
        m_status = ExitStatus::Unreachable;
        break;
    case CheckEnding::LocalShortage:
        m_console.tell(reason);
        m_status = ExitStatus::LocalShortage;
        break;
    }
    m_loop.quit();
}

// Results come as the proxies answer and are printed in list order: one that came before an
// earlier one waits here, and the checking goes on meanwhile.
void CheckCommand::onChecked(qsizetype index, const ProbeResult& result)
{
    m_waiting.emplace(index, result);
    for (auto next = m_waiting.find(m_nextToPrint); next != m_waiting.end(); next = m_waiting.find(m_nextToPrint)) {
        print(m_input.proxies()[std::size_t(m_nextToPrint)], next->second);
        m_waiting.erase(next);
        ++m_nextToPrint;
    }
    if (m_progress)
        m_progress->update(m_checked, m_passing);
}

bool CheckCommand::passes(const ProbeResult& result) const
{
    if (result.level < m_request.required)
        return false;
    return !m_request.anonymity || (result.anonymity && *result.anonymity >= *m_request.anonymity);
}

void CheckCommand::print(const ProxyRecord& proxy, const ProbeResult& result)
{
    const bool passing = passes(result);
    ++m_checked;
    if (passing)
        ++m_passing;
    if ((!m_request.report && !passing) || m_status == ExitStatus::FileFailure)
        return;
    m_output += m_request.report ? ReportLine(proxy, result, passing) : proxy.line + "\r\n";
    if (!m_flushQueued) {
        m_flushQueued = true;
        QTimer::singleShot(0, this, &CheckCommand::flush);
    }
}

// The lines of a batch of results go out in one write, not one write a line.
void CheckCommand::flush()
{
    m_flushQueued = false;
    if (m_output.isEmpty() || m_console.writeOut(std::exchange(m_output, {})))
        return;
    m_console.tell(u"cannot write to standard output: "_s + m_console.outError());
    m_status = ExitStatus::FileFailure;
    if (m_checker)
        m_checker->stop();
}
