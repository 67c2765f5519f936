#include "InterruptNotifier.h"

#include <cerrno>

#include <fcntl.h>
#include <unistd.h>

namespace {

// The handler can reach nothing but this: the pipe's write end of the one notifier there is.
volatile std::sig_atomic_t WriteEnd = -1;

void OnInterrupt(int)
{
    const int savedErrno = errno;
    const char byte = 1;
    // A full pipe already holds an interrupt that has not been read: nothing is lost.
    [[maybe_unused]] const ssize_t written = write(WriteEnd, &byte, 1);
    errno = savedErrno;
}

} // namespace

InterruptNotifier::InterruptNotifier(QObject* parent)
    : QObject(parent)
{
    int ends[2];
    if (pipe2(ends, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    m_readEnd = ends[0];
    m_writeEnd = ends[1];
    WriteEnd = m_writeEnd;

    struct sigaction action = {};
    action.sa_handler = OnInterrupt;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    if (sigaction(SIGINT, &action, &m_previous) != 0) {
        closePipe();
        return;
    }
    m_notifier = std::make_unique<QSocketNotifier>(m_readEnd, QSocketNotifier::Read);
    connect(m_notifier.get(), &QSocketNotifier::activated, this, &InterruptNotifier::drain);
}

InterruptNotifier::~InterruptNotifier()
{
    if (m_notifier) {
        m_notifier.reset();
        sigaction(SIGINT, &m_previous, nullptr);
    }
    closePipe();
}

// Every Ctrl+C pressed since the last look is one interrupt each.
void InterruptNotifier::drain()
{
    char bytes[16];
    ssize_t got = 0;
    while ((got = read(m_readEnd, bytes, sizeof bytes)) > 0) {
        for (ssize_t i = 0; i < got; ++i)
            Q_EMIT interrupted();
    }
}

void InterruptNotifier::closePipe()
{
    WriteEnd = -1;
    if (m_readEnd >= 0)
        close(m_readEnd);
    if (m_writeEnd >= 0)
        close(m_writeEnd);
    m_readEnd = m_writeEnd = -1;
}
