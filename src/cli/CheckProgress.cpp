#include "CheckProgress.h"

#include "Console.h"

using namespace Qt::StringLiterals;

namespace {

// Often enough to see it move, seldom enough that the drawing costs nothing.
constexpr std::chrono::milliseconds RedrawInterval{100};
constexpr std::chrono::milliseconds LineInterval{2000};

} // namespace

CheckProgress::CheckProgress(Console& console, ProgressReporter::Mode mode)
    : m_console(console)
    , m_mode(mode)
{
    m_timer.setInterval(m_mode == ProgressReporter::Mode::Bar ? RedrawInterval : LineInterval);
    QObject::connect(&m_timer, &QTimer::timeout, &m_timer, [this] { show(); });
}

void CheckProgress::start(qsizetype total)
{
    m_total = total;
    m_clock.start();
    if (m_mode != ProgressReporter::Mode::Quiet)
        m_timer.start();
}

void CheckProgress::finish()
{
    m_timer.stop();
    show();
    if (m_mode == ProgressReporter::Mode::Bar)
        m_console.writeErr(u"\n"_s);
}

void CheckProgress::show()
{
    if (m_mode == ProgressReporter::Mode::Quiet)
        return;
    const double seconds = double(std::max<qint64>(m_clock.elapsed(), 1)) / 1000;
    const QString line = u"checked %1/%2, %3 passing, %4/s"_s.arg(
        QString::number(m_checked), QString::number(m_total), QString::number(m_passing),
        QString::number(qRound64(double(m_checked) / seconds)));
    if (m_mode == ProgressReporter::Mode::Bar)
        m_console.writeErr(QString::fromLatin1(Console::Redraw) + line);
    else
        m_console.writeErr(line + u'\n');
}
