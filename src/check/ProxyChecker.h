#pragma once

#include "Judge.h"
#include "ProbeResult.h"
#include "ProxyListReader.h"

#include <QObject>

#include <memory>
#include <span>

class CheckMailbox;
class CheckRun;
class ProbeEngine;

enum class CheckEnding {
    Completed,
    Stopped, // stop() was called
    JudgeFailed, // the judge, asked directly first, did not answer as a judge
    LocalShortage, // this machine ran short even with one probe at a time
};

// Checks the proxies of a list, many at once, on a thread of its own (the probe engine), and
// tells each result here as it comes, in whatever order the proxies answer. With a judge, the
// judge is asked directly first: the checker learns its own address as the judge sees it, and a
// judge that does not answer as one stops the check before any proxy is tried. When this
// machine runs short (open files, buffers, memory), the proxy in hand is checked again later
// with fewer probes at once: a shortage here is never a proxy's verdict.
class ProxyChecker final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ProxyChecker)

public:
    ProxyChecker(ProbeSettings settings, std::optional<Judge> judge, int jobs, QObject* parent = nullptr);
    ~ProxyChecker() override;

    // The list must outlive the check and stay as it is meanwhile. Everything is told from the
    // event loop.
    void start(std::span<const ProxyRecord> list);
    // No more probes; the results that have come are told, then finished(Stopped).
    void stop();

    bool isRunning() const { return m_engine != nullptr; }

Q_SIGNALS:
    void judgeAnswered(const QString& checkerAddress);
    void checked(qsizetype index, const ProbeResult& result);
    void jobsLowered(int jobs, const QString& reason);
    void finished(CheckEnding ending, const QString& reason);

private:
    void deliver();
    void end(CheckEnding ending, const QString& reason);

    ProbeSettings m_settings;
    std::optional<Judge> m_judge;
    int m_jobs;
    std::unique_ptr<CheckMailbox> m_mailbox;
    std::unique_ptr<ProbeEngine> m_engine; // while a check runs
    std::shared_ptr<CheckRun> m_run;
    bool m_delivering = false;
};
