#include "ListInput.h"

#include "Console.h"
#include "ExitStatus.h"
#include "PageFetcher.h"
#include "PlainText.h"

#include <QBuffer>
#include <QFile>
#include <QUrl>

#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

const auto StandardInput = u"-"_s;

bool IsAddress(const QString& name)
{
    return name.startsWith(u"http://"_s, Qt::CaseInsensitive) || name.startsWith(u"https://"_s, Qt::CaseInsensitive);
}

} // namespace

ListInput::ListInput(Console& console, PageFetcher& fetcher)
    : m_console(console)
    , m_fetcher(fetcher)
{
}

// A list that cannot be had stops the check before it starts, since the proxies it holds would
// be missing from the result.
std::optional<int> ListInput::read(const QStringList& names)
{
    for (const QString& name : names.isEmpty() ? QStringList{StandardInput} : names) {
        if (const std::optional<int> failed = IsAddress(name) ? fetch(name) : readFile(name))
            return failed;
    }
    if (const qsizetype repeats = RemoveRepeats(m_proxies); repeats > 0)
        m_console.tell(u"%1 repeated lines skipped: each names a host and port listed before it"_s.arg(repeats));
    return std::nullopt;
}

std::optional<int> ListInput::readFile(const QString& name)
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
        return ExitStatus::Usage;
    }
    take(std::move(list), shownName);
    return std::nullopt;
}

// The list is held in memory while it is read: the fetcher stops at its cap (64 MiB).
std::optional<int> ListInput::fetch(const QString& address)
{
    const QString shownName = DisplayText(address);
    QByteArray body;
    QBuffer sink(&body);
    sink.open(QIODevice::WriteOnly);
    const FetchResult fetched = m_fetcher.fetch(QUrl(address, QUrl::StrictMode), sink);
    QString failure = fetched.error;
    constexpr int FirstErrorStatus = 400;
    if (fetched.ok && fetched.status >= FirstErrorStatus)
        failure = u"the server answered with status %1"_s.arg(fetched.status);
    if (!fetched.ok || !failure.isEmpty()) {
        m_console.tell(u"cannot fetch %1: %2"_s.arg(shownName, failure));
        return ExitStatus::Unreachable;
    }
    QBuffer list(&body);
    list.open(QIODevice::ReadOnly);
    take(ReadProxyList(list), shownName);
    return std::nullopt;
}

void ListInput::take(ProxyList list, const QString& shownName)
{
    for (const MalformedLine& line : list.malformed)
        m_console.tell(u"%1:%2: skipped: %3"_s.arg(shownName, QString::number(line.number), line.reason));
    m_proxies.insert(m_proxies.end(), std::make_move_iterator(list.proxies.begin()),
                     std::make_move_iterator(list.proxies.end()));
}
