#include "CheckCommand.h"

#include "Console.h"
#include "ExitStatus.h"
#include "PlainText.h"
#include "ProxyChecker.h"

#include <QFile>
#include <QTimer>

#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

const auto StandardInput = u"-"_s;

QString MsText(qint64 ms)
{
    return ms < 0 ? u"-"_s : QString::number(ms);
}

QByteArray ReportLine(const ProxyRecord& proxy, const ProbeResult& result, bool passes)
{
    const QStringList fields{proxy.address,
                             QString::number(proxy.port),
                             result.protocol ? ProtocolName(*result.protocol) : u"-"_s,
                             passes ? u"pass"_s : result.reason,
                             LevelName(result.level),
                             MsText(result.connectMs),
                             MsText(result.totalMs),
                             result.anonymity ? AnonymityName(*result.anonymity) : u"-"_s,
                             result.exitAddress.isEmpty() ? u"-"_s : result.exitAddress};
    return fields.join(u'\t').toUtf8() + "\r\n";
}

} // namespace

CheckCommand::CheckCommand(CheckRequest request, Console& console)
    : m_request(std::move(request))
    , m_console(console)
    , m_progress(console, ProgressReporter::modeFor(m_request.quiet))
{
}

int CheckCommand::run()
{
    ProxyChecker checker(m_request.probe, m_request.judge, m_request.jobs);
    connect(&checker, &ProxyChecker::checked, this, &CheckCommand::onChecked);
    connect(&checker, &ProxyChecker::jobsLowered, this, [this](int jobs, const QString& reason) {
        m_console.tell(u"this machine ran short (%1): checking %2 proxies at once from now on"_s.arg(
            reason, QString::number(jobs)));
    });
    connect(&checker, &ProxyChecker::finished, this, &CheckCommand::onFinished);
    m_checker = &checker;
    m_progress.start(qsizetype(m_list.size()));
    checker.start(m_list);
    m_loop.exec();
    m_checker = nullptr;
    flush();
    m_progress.finish();
    if (m_status != ExitStatus::Done)
        return m_status;
    if (m_passing > 0)
        return ExitStatus::Done;
    m_console.tell(m_list.empty() ? u"the list holds no proxy"_s : u"no proxy passed the check"_s);
    return ExitStatus::No;
}

void CheckCommand::onFinished(CheckEnding ending, const QString& reason)
{
    switch (ending) {
    case CheckEnding::Completed:
        break;
    case CheckEnding::Stopped:
        // The proxies still being checked have no result: those after them are printed now.
        for (const auto& [index, result] : std::exchange(m_waiting, {}))
            print(m_list[std::size_t(index)], result);
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

void CheckCommand::interrupt()
{
    if (m_checker && m_checker->isRunning())
        m_checker->stop();
}

bool CheckCommand::readLists()
{
    const QStringList names = m_request.files.isEmpty() ? QStringList{StandardInput} : m_request.files;
    return std::all_of(names.begin(), names.end(), [this](const QString& name) { return readList(name); });
}

// A malformed line is told and skipped; a file that cannot be read stops the check before it
// starts, since the list it holds would be missing from the result.
bool CheckCommand::readList(const QString& name)
{
    QFile file(name);
    const bool opened = name == StandardInput
        ? file.open(STDIN_FILENO, QIODevice::ReadOnly, QFileDevice::DontCloseHandle)
        : file.open(QIODevice::ReadOnly);
    const QString shownName = name == StandardInput ? u"(standard input)"_s : DisplayText(name);
    ProxyList list;
    if (opened)
        list = ReadProxyList(file);
    if (!opened || file.error() != QFileDevice::NoError) {
        m_console.tell(u"cannot read %1: %2"_s.arg(shownName, file.errorString()));
        return false;
    }
    for (const MalformedLine& line : list.malformed)
        m_console.tell(u"%1:%2: skipped: %3"_s.arg(shownName, QString::number(line.number), line.reason));
    m_list.insert(m_list.end(), std::make_move_iterator(list.proxies.begin()),
                  std::make_move_iterator(list.proxies.end()));
    return true;
}

// Results come as the proxies answer and are printed in list order: one that came before an
// earlier one waits here, and the checking goes on meanwhile.
void CheckCommand::onChecked(qsizetype index, const ProbeResult& result)
{
    m_waiting.emplace(index, result);
    for (auto next = m_waiting.find(m_nextToPrint); next != m_waiting.end(); next = m_waiting.find(m_nextToPrint)) {
        print(m_list[std::size_t(m_nextToPrint)], next->second);
        m_waiting.erase(next);
        ++m_nextToPrint;
    }
    m_progress.update(m_checked, m_passing);
}

void CheckCommand::print(const ProxyRecord& proxy, const ProbeResult& result)
{
    const bool passes = result.level >= m_request.required;
    ++m_checked;
    if (passes)
        ++m_passing;
    if (!m_request.report && !passes)
        return;
    m_output += m_request.report ? ReportLine(proxy, result, passes) : proxy.line + "\r\n";
    if (!m_flushQueued) {
        m_flushQueued = true;
        QTimer::singleShot(0, this, &CheckCommand::flush);
    }
}

// The lines of a batch of results go out in one write, not one write a line.
void CheckCommand::flush()
{
    m_flushQueued = false;
    if (m_output.isEmpty() || m_status == ExitStatus::FileFailure)
        return;
    if (m_console.writeOut(std::exchange(m_output, {})))
        return;
    m_console.tell(u"cannot write to standard output: "_s + m_console.outError());
    m_status = ExitStatus::FileFailure;
    if (m_checker)
        m_checker->stop();
}
