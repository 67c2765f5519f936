#pragma once

#include <asio/executor_work_guard.hpp>
#include <asio/io_context.hpp>
#include <asio/post.hpp>

#include <thread>

// The thread the check's sockets live on: one Asio event loop that waits on all of them at once
// (epoll on Linux), so a wake-up costs the same with five thousand probes as with five. Qt's own
// event dispatcher polls every socket it watches at every wake-up, and at thousands of probes
// that cost more than the probes themselves. What runs here reports to Qt's side by queued
// calls; nothing here touches a QObject of another thread.
class ProbeEngine final
{
public:
    // Throws std::system_error when this machine cannot give it a thread or descriptors.
    ProbeEngine();
    ~ProbeEngine();
    ProbeEngine(const ProbeEngine&) = delete;
    ProbeEngine& operator=(const ProbeEngine&) = delete;

    asio::io_context& context() { return m_context; }

    template <typename Work>
    void post(Work&& work)
    {
        asio::post(m_context, std::forward<Work>(work));
    }

    // Stops the loop and waits for the thread to end: handlers not yet run never run, and the
    // state they hold is freed with the engine.
    void halt();

private:
    asio::io_context m_context{1};
    asio::executor_work_guard<asio::io_context::executor_type> m_work;
    std::thread m_thread;
};
