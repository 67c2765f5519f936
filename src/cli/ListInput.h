#pragma once

#include "ProxyListReader.h"

#include <QStringList>

#include <optional>
#include <vector>

class Console;
class PageFetcher;

// The lists a check or the local server reads: files, standard input ("-", or no name at all) and
// http:// or https:// addresses, fetched as the harvest fetches its pages. Malformed lines are
// told with their list and line and skipped; a proxy listed again (the same host and port) is
// checked once, as its first line says.
class ListInput final
{
public:
    ListInput(Console& console, PageFetcher& fetcher);

    // The exit status when a list cannot be had: 2 for a file, 3 for an address.
    std::optional<int> read(const QStringList& names);
    const std::vector<ProxyRecord>& proxies() const { return m_proxies; }

private:
    std::optional<int> readFile(const QString& name);
    std::optional<int> fetch(const QString& address);
    void take(ProxyList list, const QString& shownName);

    Console& m_console;
    PageFetcher& m_fetcher;
    std::vector<ProxyRecord> m_proxies;
};
