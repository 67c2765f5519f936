#pragma once

#include "CheckProgress.h"
#include "CliArguments.h"
#include "ProxyChecker.h"
#include "ProxyListReader.h"

#include <QEventLoop>

#include <map>

class Console;

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
    void onFinished(CheckEnding ending, const QString& reason);
    void print(const ProxyRecord& proxy, const ProbeResult& result);
    void flush();

    CheckRequest m_request;
    Console& m_console;
    CheckProgress m_progress;
    std::vector<ProxyRecord> m_list;
    QEventLoop m_loop;
    ProxyChecker* m_checker = nullptr; // while a check is under way
    std::map<qsizetype, ProbeResult> m_waiting; // results that came before an earlier one
    qsizetype m_nextToPrint = 0;
    int m_status = 0;
    QByteArray m_output; // lines not written yet
    bool m_flushQueued = false;
    qsizetype m_checked = 0;
    qsizetype m_passing = 0;
};
