#pragma once

#include "ProgressReporter.h"

#include <QElapsedTimer>
#include <QTimer>

class Console;

// Tells on standard error how a check goes: proxies checked, passing, and the rate. On a
// terminal one line is redrawn in place, a few times a second; elsewhere a plain line is
// written every few seconds; when asked to be quiet, nothing. It goes by the clock, not by the
// results, so a check that waits on slow proxies still shows that it is alive.
class CheckProgress final
{
public:
    CheckProgress(Console& console, ProgressReporter::Mode mode);

    void start(qsizetype total);
    void update(qsizetype checked, qsizetype passing)
    {
        m_checked = checked;
        m_passing = passing;
    }
    // The last count, on a line of its own.
    void finish();

private:
    void show();

    Console& m_console;
    ProgressReporter::Mode m_mode;
    QElapsedTimer m_clock;
    QTimer m_timer;
    qsizetype m_total = 0;
    qsizetype m_checked = 0;
    qsizetype m_passing = 0;
};
