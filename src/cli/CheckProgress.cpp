#include "CheckProgress.h"

#include "Console.h"

using namespace Qt::StringLiterals;

namespace {

// Often enough to see it move, seldom enough that the drawing costs nothing.
constexpr qint64 RedrawMs = 100;
constexpr qint64 LineMs = 2000;

} // namespace

CheckProgress::CheckProgress(Console& console, ProgressReporter::Mode mode)
    : m_console(console)
    , m_mode(mode)
{
}

void CheckProgress::start(qsizetype total)
{
    m_total = total;
    m_clock.start();
}

void CheckProgress::update(qsizetype checked, qsizetype passing)
{
    m_checked = checked;
    m_passing = passing;
    const qint64 interval = m_mode == ProgressReporter::Mode::Bar ? RedrawMs : LineMs;
    if (m_clock.elapsed() - m_shownAt >= interval)
        show();
}

void CheckProgress::finish()
{
    show();
    if (m_mode == ProgressReporter::Mode::Bar)
        m_console.writeErr(u"\n"_s);
}

void CheckProgress::show()
{
    if (m_mode == ProgressReporter::Mode::Quiet)
        return;
    m_shownAt = m_clock.elapsed();
    const double seconds = double(std::max<qint64>(m_shownAt, 1)) / 1000;
    const QString line = u"checked %1/%2, %3 passing, %4/s"_s.arg(
        QString::number(m_checked), QString::number(m_total), QString::number(m_passing),
        QString::number(qRound64(double(m_checked) / seconds)));
    if (m_mode == ProgressReporter::Mode::Bar)
        m_console.writeErr(QString::fromLatin1(Console::Redraw) + line);
    else
        m_console.writeErr(line + u'\n');
}
