#pragma once

#include "ProxyChecker.h"
#include "UpstreamPool.h"

#include <QObject>
#include <QTimer>

#include <chrono>
#include <functional>
#include <memory>
#include <vector>

// Keeps the server's pool to the proxies that work: a list is checked through the judge and the
// proxies that carried its request are handed to the server; then the pool of the last completed
// check is checked again now and then in the background, the proxies set aside since among them.
// A check that does not complete (stopped, the judge gone, a shortage here) leaves the server's
// pool as it was.
class PoolKeeper final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(PoolKeeper)

public:
    // Hands the working proxies to the server, on whatever thread the server lives.
    using PoolUser = std::function<void(std::vector<Upstream>)>;

    PoolKeeper(ProbeSettings settings, Judge judge, int jobs, PoolUser usePool, QObject* parent = nullptr);
    ~PoolKeeper() override;

    void check(std::vector<ProxyRecord> list);
    // The pool of the last completed check, again; nothing while a check runs.
    void recheck();
    void recheckEvery(std::chrono::seconds interval);
    bool isChecking() const { return m_checker != nullptr; }

Q_SIGNALS:
    void progressed(qsizetype checked, qsizetype working);
    // After a completed check its working proxies, perhaps none, are the server's pool.
    void checkEnded(CheckEnding ending, const QString& reason, qsizetype working);

private:
    void onChecked(qsizetype index, const ProbeResult& result);
    void onFinished(CheckEnding ending, const QString& reason);

    const ProbeSettings m_settings;
    const Judge m_judge;
    const int m_jobs;
    const PoolUser m_usePool;
    std::unique_ptr<ProxyChecker> m_checker; // while a check runs
    std::vector<ProxyRecord> m_pool; // what worked at the last completed check
    std::vector<ProxyRecord> m_checking;
    std::vector<Upstream> m_working; // of the check under way, and the same as listed
    std::vector<ProxyRecord> m_workingRecords;
    qsizetype m_checked = 0;
    QTimer m_recheckTimer;
};
