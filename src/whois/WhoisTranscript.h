#pragma once

#include "Utf8StreamDecoder.h"

#include <QString>

// The text of one lookup: the window's status lines and the server's answer. Every LF of the
// answer becomes CR LF, each chunk on its own, and a CR stays as it is, so the answer's CR LF
// line ends read CR CR LF. Nothing is ever taken out. Each call returns the piece it added.
class WhoisTranscript final
{
public:
    QString appendAnswer(QByteArrayView chunk);

    // A status line ends the answer so far: the bytes of a character that never completed
    // are shown before it.
    QString appendStatus(const QString& status);

    const QString& text() const { return m_text; }

private:
    QString append(QString piece);

    Utf8StreamDecoder m_decoder;
    QString m_text;
};
