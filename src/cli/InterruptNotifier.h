#pragma once

#include <QObject>
#include <QSocketNotifier>

#include <csignal>
#include <memory>

// Turns Ctrl+C (SIGINT) into a signal that the event loop delivers, so the program answers
// it where that is safe: in the middle of a fetch or a parse, both of which run the loop. The
// signal handler itself only writes a byte to a pipe the loop watches. One at a time; the
// previous handling of SIGINT comes back when it is destroyed.
class InterruptNotifier final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(InterruptNotifier)

public:
    explicit InterruptNotifier(QObject* parent = nullptr);
    ~InterruptNotifier() override;

    // False when the pipe or the handler could not be set up: Ctrl+C then ends the program
    // the usual way.
    bool isValid() const { return m_notifier != nullptr; }

Q_SIGNALS:
    void interrupted();

private:
    void drain();
    void closePipe();

    int m_readEnd = -1;
    int m_writeEnd = -1;
    struct sigaction m_previous = {};
    std::unique_ptr<QSocketNotifier> m_notifier;
};
