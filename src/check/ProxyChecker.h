#pragma once

#include "ProbeResult.h"
#include "ProxyListReader.h"

#include <QObject>

#include <map>
#include <memory>
#include <span>

class ProxyProbe;

// Checks the proxies of a list, a few at a time, each with its own probe, and tells the results
// in list order. At most `jobs` connections are open at once, and a result that comes before an
// earlier one waits only while the earlier one is within a window of the list, so memory stays
// bounded by the jobs, not the length of the list.
class ProxyChecker final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ProxyChecker)

public:
    ProxyChecker(const ProbeSettings& settings, int jobs, QObject* parent = nullptr);
    ~ProxyChecker() override;

    // The list must outlive the check. The first results come from the event loop.
    void start(std::span<const ProxyRecord> list);
    // Ctrl+C: no more probes start and the running ones end without a result; the results that
    // have come are still told, in list order, then finished().
    void stop();

    bool isRunning() const { return m_running; }

Q_SIGNALS:
    void checked(qsizetype index, const ProbeResult& result);
    void finished();

private:
    static constexpr qsizetype Idle = -1;

    void fill();
    void queueFill();
    void onProbeFinished(std::size_t slot, const ProbeResult& result);
    void tellInOrder();
    void end();

    std::vector<std::unique_ptr<ProxyProbe>> m_probes;
    std::vector<qsizetype> m_probing; // the list index each probe works on, or Idle
    std::span<const ProxyRecord> m_list;
    std::map<qsizetype, ProbeResult> m_waiting; // results that came before an earlier one
    qsizetype m_window = 0;
    qsizetype m_next = 0; // the first proxy not started
    qsizetype m_nextToTell = 0;
    bool m_running = false;
    bool m_fillQueued = false;
};
