#pragma once

#include <QString>

class Console;

// Tells on standard error how a harvest goes. On a terminal each page has a line of its own,
// redrawn in place as a bar while the page is parsed; elsewhere (a log, a pipe) the line is
// written once the page is done; when asked to be quiet, nothing. Warnings are written in
// every mode, on lines of their own.
class ProgressReporter final
{
public:
    enum class Mode { Quiet, Lines, Bar };

    ProgressReporter(Console& console, Mode mode);

    // Quiet when asked; a bar on a terminal; plain lines for a log or a pipe.
    static Mode modeFor(bool quiet);

    // The run's caption for what it does now: the page it fetches, or its verdict.
    void setCaption(const QString& caption);
    void setPageProgress(int value, int maximum);
    void setRows(const QString& rows);

    void pageStarted();
    void pageDone();
    // The run has ended: a caption no page line has shown (the verdict) gets a line of its own.
    void finish();

    void warn(const QString& text);

private:
    QString line() const;
    void draw();
    void endLine();

    Console& m_console;
    Mode m_mode;
    QString m_caption;
    QString m_rows = QStringLiteral("0");
    bool m_captionShown = true;
    bool m_inPage = false;
    bool m_lineOpen = false; // a bar line is on the terminal without its line end
    int m_filled = 0;
};
