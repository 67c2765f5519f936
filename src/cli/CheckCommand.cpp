#include "CheckCommand.h"

#include "Console.h"
#include "ExitStatus.h"
#include "PlainText.h"
#include "ProxyChecker.h"

#include <QFile>

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
                             MsText(result.totalMs)};
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
    ProxyChecker checker(m_request.probe, m_request.jobs);
    connect(&checker, &ProxyChecker::checked, this, &CheckCommand::onChecked);
    connect(&checker, &ProxyChecker::finished, &m_loop, &QEventLoop::quit);
    m_checker = &checker;
    m_progress.start(qsizetype(m_list.size()));
    checker.start(m_list);
    m_loop.exec();
    m_checker = nullptr;
    m_progress.finish();
    if (m_writeFailed)
        return ExitStatus::FileFailure;
    if (m_stopped)
        return ExitStatus::Stopped;
    if (m_passing > 0)
        return ExitStatus::Done;
    m_console.tell(m_list.empty() ? u"the list holds no proxy"_s : u"no proxy passed the check"_s);
    return ExitStatus::No;
}

void CheckCommand::interrupt()
{
    if (!m_checker || !m_checker->isRunning())
        return;
    m_stopped = true;
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

void CheckCommand::onChecked(qsizetype index, const ProbeResult& result)
{
    if (m_writeFailed)
        return; // the results a stopped check still tells have nowhere to go
    const ProxyRecord& proxy = m_list[std::size_t(index)];
    const bool passes = result.level >= m_request.required;
    ++m_checked;
    if (passes)
        ++m_passing;
    const QByteArray line = m_request.report ? ReportLine(proxy, result, passes) : proxy.line + "\r\n";
    if ((m_request.report || passes) && !m_console.writeOut(line)) {
        m_console.tell(u"cannot write to standard output: "_s + m_console.outError());
        m_writeFailed = true;
        m_checker->stop();
        return;
    }
    m_progress.update(m_checked, m_passing);
}
