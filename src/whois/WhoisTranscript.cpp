#include "WhoisTranscript.h"

using namespace Qt::StringLiterals;

QString WhoisTranscript::appendAnswer(QByteArrayView chunk)
{
    return append(m_decoder.decode(chunk).replace(u'\n', u"\r\n"_s));
}

QString WhoisTranscript::appendStatus(const QString& status)
{
    return append(m_decoder.flush() + status);
}

QString WhoisTranscript::append(QString piece)
{
    m_text += piece;
    return piece;
}
