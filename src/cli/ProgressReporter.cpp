#include "ProgressReporter.h"

#include "Console.h"

#include <algorithm>

using namespace Qt::StringLiterals;

namespace {

constexpr int BarWidth = 20;

} // namespace

ProgressReporter::ProgressReporter(Console& console, Mode mode)
    : m_console(console)
    , m_mode(mode)
{
}

ProgressReporter::Mode ProgressReporter::modeFor(bool quiet)
{
    if (quiet)
        return Mode::Quiet;
    return Console::errIsTerminal() ? Mode::Bar : Mode::Lines;
}

void ProgressReporter::setCaption(const QString& caption)
{
    m_caption = caption;
    m_captionShown = false;
}

void ProgressReporter::setPageProgress(int value, int maximum)
{
    const int filled = maximum > 0 ? std::clamp(value, 0, maximum) * BarWidth / maximum : 0;
    if (filled == m_filled)
        return;
    m_filled = filled;
    if (m_inPage)
        draw();
}

void ProgressReporter::setRows(const QString& rows)
{
    m_rows = rows;
    if (m_inPage)
        draw();
}

void ProgressReporter::pageStarted()
{
    m_inPage = true;
    m_captionShown = true;
    m_filled = 0;
    draw();
}

void ProgressReporter::pageDone()
{
    m_inPage = false;
    m_filled = BarWidth;
    if (m_mode == Mode::Lines)
        m_console.writeErr(line() + u'\n');
    if (m_mode == Mode::Bar) {
        draw();
        endLine();
    }
}

void ProgressReporter::finish()
{
    m_inPage = false;
    endLine();
    if (!m_captionShown && m_mode != Mode::Quiet)
        m_console.writeErr(m_caption + u' ' + m_rows + u" rows\n"_s);
    m_captionShown = true;
}

void ProgressReporter::warn(const QString& text)
{
    endLine();
    m_console.tell(text);
    if (m_inPage)
        draw();
}

QString ProgressReporter::line() const
{
    return m_caption + u' ' + m_rows + u" rows so far"_s;
}

void ProgressReporter::draw()
{
    if (m_mode != Mode::Bar)
        return;
    const QString bar = u'[' + QString(m_filled, u'#') + QString(BarWidth - m_filled, u'-') + u']';
    m_console.writeErr(QString::fromLatin1(Console::Redraw) + m_caption + u' ' + bar + u' ' + m_rows + u" rows"_s);
    m_lineOpen = true;
}

void ProgressReporter::endLine()
{
    if (!m_lineOpen)
        return;
    m_console.writeErr(u"\n"_s);
    m_lineOpen = false;
}
