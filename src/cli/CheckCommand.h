#pragma once

#include "CheckProgress.h"
#include "CliArguments.h"
#include "ProxyListReader.h"

#include <QEventLoop>

class Console;
class ProxyChecker;

// `varnholt-cli check`: reads the list files, checks every proxy and prints the lines of those
// that reach the required level, in list order and as they were read, or a report line for each.
class CheckCommand final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CheckCommand)

public:
    CheckCommand(CheckRequest request, Console& console);

    // Reads every list named, telling its malformed lines; false when one cannot be read.
    bool readLists();
    // Checks the proxies read and returns the exit status.
    int run();

    // Ctrl+C: the check stops where it stands and the results so far are printed.
    void interrupt();

private:
    bool readList(const QString& name);
    void onChecked(qsizetype index, const ProbeResult& result);

    CheckRequest m_request;
    Console& m_console;
    CheckProgress m_progress;
    std::vector<ProxyRecord> m_list;
    QEventLoop m_loop;
    ProxyChecker* m_checker = nullptr; // while a check is under way
    qsizetype m_checked = 0;
    qsizetype m_passing = 0;
    bool m_stopped = false;
    bool m_writeFailed = false;
};
