#pragma once

#include "ProgressReporter.h"

#include <QElapsedTimer>

class Console;

// Tells on standard error how a check goes: proxies checked, passing, and the rate. On a
// terminal one line is redrawn in place, a few times a second; elsewhere a plain line is
// written every few seconds; when asked to be quiet, nothing.
class CheckProgress final
{
public:
    CheckProgress(Console& console, ProgressReporter::Mode mode);

    void start(qsizetype total);
    void update(qsizetype checked, qsizetype passing);
    // The last count, on a line of its own.
    void finish();

private:
    void show();

    Console& m_console;
    ProgressReporter::Mode m_mode;
    QElapsedTimer m_clock;
    qsizetype m_total = 0;
    qsizetype m_checked = 0;
    qsizetype m_passing = 0;
    qint64 m_shownAt = 0;
};
