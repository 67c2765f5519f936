#pragma once

#include <QFile>
#include <QString>

// The program's standard output and standard error. What goes to the output is written as
// the bytes given, unbuffered, so a streamed answer arrives as it comes and a list reaches a
// pipe byte for byte; a failed write is reported, since a list that did not arrive is no
// success.
class Console final
{
    Q_DISABLE_COPY_MOVE(Console)

public:
    static constexpr auto ProgramName = "varnholt-cli";
    // Back to the start of a terminal's line and clear it, so a shorter line leaves nothing behind.
    static constexpr auto Redraw = "\r\x1b[K";

    Console();

    bool writeOut(QByteArrayView bytes);
    QString outError() const { return m_out.errorString(); }

    // Text for a person, as it is: progress lines and their redrawing.
    void writeErr(const QString& text);
    // One line for a person, headed by the program's name: a warning or an error.
    void tell(const QString& line);

    static bool errIsTerminal();

private:
    QFile m_out;
    QFile m_err;
};
