#pragma once

#include "ProxyChecker.h"
#include "ProxyProbe.h"

#include <deque>
#include <functional>
#include <mutex>
#include <variant>

// What the engine's thread tells the checker's, in the order it happened.
struct JudgeAnsweredEvent
{
    QString checkerAddress;
};
struct CheckedEvent
{
    qsizetype index = 0;
    ProbeResult result;
};
struct JobsLoweredEvent
{
    int jobs = 0;
    QString reason;
};
struct EndedEvent
{
    CheckEnding ending = CheckEnding::Completed;
    QString reason;
};
using CheckEvent = std::variant<JudgeAnsweredEvent, CheckedEvent, JobsLoweredEvent, EndedEvent>;

// Carries events from the engine's thread to the checker's, in batches: the receiver is woken
// once for all that came since it last took them, not once an event.
class CheckMailbox final
{
public:
    explicit CheckMailbox(std::function<void()> wake)
        : m_wake(std::move(wake))
    {
    }

    void post(CheckEvent event);
    // Wakes the receiver, unless it is woken already and has not taken the events yet.
    void wake();
    std::vector<CheckEvent> take();

private:
    std::function<void()> m_wake;
    std::mutex m_mutex;
    std::vector<CheckEvent> m_events;
    bool m_woken = false;
};

// One check on the engine's thread: the judge first, then the list's proxies, at most `jobs`
// probes at once.
class CheckRun final : public std::enable_shared_from_this<CheckRun>
{
public:
    CheckRun(asio::io_context& context, std::span<const ProxyRecord> list, ProbeSettings settings,
             std::optional<Judge> judge, int jobs, CheckMailbox& mailbox);

    void start();

private:
    void askJudge();
    void onJudgeAnswered(ProbeOutcome&& outcome);
    void fill();
    void onProbed(qsizetype index, ProbeOutcome&& outcome);
    void probe(qsizetype index);
    void end(CheckEnding ending, const QString& reason = {});
    void tell(CheckEvent event);

    asio::io_context& m_context;
    asio::steady_timer m_delivery;
    bool m_deliveryDue = false;
    std::span<const ProxyRecord> m_list;
    std::shared_ptr<ProbeContext> m_shared;
    CheckMailbox& m_mailbox;
    int m_jobs;
    int m_running = 0;
    qsizetype m_next = 0;
    std::deque<qsizetype> m_again; // proxies a shortage here kept from being checked
    bool m_filling = false;
    bool m_ended = false;
};
