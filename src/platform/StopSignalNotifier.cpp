#include "StopSignalNotifier.h"

#include <cerrno>

#include <fcntl.h>
#include <unistd.h>

namespace {

// The handler can reach nothing but this: the pipe's write end of the one notifier there is.
volatile std::sig_atomic_t WriteEnd = -1;

void OnStopSignal(int signalNumber)
{
    const int savedErrno = errno;
    const auto byte = char(signalNumber);
    // A full pipe already holds signals that have not been read: the program is stopping.
    [[maybe_unused]] const ssize_t written = write(WriteEnd, &byte, 1);
    errno = savedErrno;
}

} // namespace

StopSignalNotifier::StopSignalNotifier(QObject* parent)
    : QObject(parent)
{
    int ends[2];
    if (pipe2(ends, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    m_readEnd = ends[0];
    m_writeEnd = ends[1];
    WriteEnd = m_writeEnd;

    struct sigaction action = {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (std::size_t i = 0; i < Watched.size(); ++i) {
        if (sigaction(Watched[i], &action, &m_previous[i]) != 0) {
            restoreHandlers(i);
            closePipe();
            return;
        }
    }
    m_notifier = std::make_unique<QSocketNotifier>(m_readEnd, QSocketNotifier::Read);
    connect(m_notifier.get(), &QSocketNotifier::activated, this, &StopSignalNotifier::drain);
}

StopSignalNotifier::~StopSignalNotifier()
{
    if (m_notifier) {
        m_notifier.reset();
        restoreHandlers(Watched.size());
    }
    closePipe();
}

// Every signal that came since the last look is one emission each, in the order they came.
void StopSignalNotifier::drain()
{
    char bytes[16];
    ssize_t got = 0;
    while ((got = read(m_readEnd, bytes, sizeof bytes)) > 0) {
        for (ssize_t i = 0; i < got; ++i)
            Q_EMIT received(int(bytes[i]));
    }
}

void StopSignalNotifier::restoreHandlers(std::size_t count)
{
    for (std::size_t i = 0; i < count; ++i)
        sigaction(Watched[i], &m_previous[i], nullptr);
}

void StopSignalNotifier::closePipe()
{
    WriteEnd = -1;
    if (m_readEnd >= 0)
        close(m_readEnd);
    if (m_writeEnd >= 0)
        close(m_writeEnd);
    m_readEnd = m_writeEnd = -1;
}
