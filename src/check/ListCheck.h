#pragma once

#include "CheckParameters.h"
#include "CheckResultsModel.h"
#include "ProxyChecker.h"

#include <QElapsedTimer>
#include <QObject>

#include <memory>
#include <vector>

// Checks the proxies of a table as it stood when the check was opened: every row that names a
// proxy is probed, many at once, and its result fills the results model as it comes; a row
// that names none says why and is never probed. Stopping keeps what has come.
class ListCheck final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ListCheck)

public:
    struct Options
    {
        std::optional<Judge> judge; // without one, a proxy passes when it speaks its protocol
        int jobs = DefaultCheckJobs;
        ProbeSettings probing;
    };

    explicit ListCheck(std::vector<ProxyEntry> entries, QObject* parent = nullptr);
    ~ListCheck() override;

    CheckResultsModel& results() { return m_results; }

    // Checks every proxy anew, the earlier results gone. When this process may open fewer files
    // than the jobs need, fewer run, as jobsLowered() tells.
    void start(const Options& options);
    // The results that have come are kept, then finished(Stopped).
    void stop();
    bool isRunning() const { return m_checker && m_checker->isRunning(); }

    qsizetype proxyCount() const { return qsizetype(m_proxies.size()); }
    qsizetype checkedCount() const { return m_checked; }
    qsizetype workingCount() const { return m_working; }
    // Proxies checked a second since the judge answered, or since the start without a judge.
    qint64 rate() const;
    std::vector<ProxyEntry> workingEntries() const; // in the table's order

Q_SIGNALS:
    void judgeAnswered(const QString& checkerAddress);
    void checked(); // a result came; the counts are up to date
    void jobsLowered(int jobs, const QString& reason);
    void finished(CheckEnding ending, const QString& reason);

private:
    void onChecked(qsizetype index, const ProbeResult& result);

    CheckResultsModel m_results;
    std::vector<ProxyRecord> m_proxies; // the rows that name one, in the table's order
    std::vector<int> m_rowOf; // each proxy's row
    std::unique_ptr<ProxyChecker> m_checker; // goes before the list it checks
    ProbeLevel m_required = ProbeLevel::Speaks;
    qsizetype m_checked = 0;
    qsizetype m_working = 0;
    QElapsedTimer m_clock;
};
