#pragma once

#include <QObject>
#include <QSocketNotifier>

#include <array>
#include <csignal>
#include <memory>

// Turns the signals that ask a program to stop (SIGINT from Ctrl+C, SIGTERM, and SIGHUP when
// the terminal or the desktop session ends) into a Qt signal that the event loop delivers, so
// the program answers them where that is safe: in the middle of a fetch or a parse, both of
// which run the loop, and with its work folder still to remove. The signal handler itself
// only writes the signal's number to a pipe the loop watches. One at a time; the previous
// handling of the signals comes back when it is destroyed. Where the pipe or the handlers
// cannot be set up, the signals end the program the usual way.
class StopSignalNotifier final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(StopSignalNotifier)

public:
    static constexpr std::array<int, 3> Watched{SIGINT, SIGTERM, SIGHUP};

    explicit StopSignalNotifier(QObject* parent = nullptr);
    ~StopSignalNotifier() override;

Q_SIGNALS:
    void received(int signalNumber);

private:
    void drain();
    void restoreHandlers(std::size_t count);
    void closePipe();

    int m_readEnd = -1;
    int m_writeEnd = -1;
    std::array<struct sigaction, Watched.size()> m_previous = {};
    std::unique_ptr<QSocketNotifier> m_notifier;
};
