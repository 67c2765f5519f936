#include "Console.h"

#include "TextFiles.h"

#include <unistd.h>

using namespace Qt::StringLiterals;

Console::Console()
{
    m_out.open(STDOUT_FILENO, QIODevice::WriteOnly | QIODevice::Unbuffered, QFileDevice::DontCloseHandle);
    m_err.open(STDERR_FILENO, QIODevice::WriteOnly | QIODevice::Unbuffered, QFileDevice::DontCloseHandle);
}

bool Console::writeOut(QByteArrayView bytes)
{
    return WriteAll(m_out, bytes);
}

// A person is told what they can; a standard error that cannot be written has nobody to tell.
void Console::writeErr(const QString& text)
{
    const QByteArray bytes = text.toUtf8();
    m_err.write(bytes);
}

void Console::tell(const QString& line)
{
    writeErr(QString::fromLatin1(ProgramName) + u": "_s + line + u'\n');
}

bool Console::errIsTerminal()
{
    return isatty(STDERR_FILENO) == 1;
}
