#pragma once

#include <QByteArray>
#include <QString>

// Decodes a byte stream that arrives in chunks as UTF-8. A character whose bytes are split
// between two chunks is held back until its last byte has come; a byte that belongs to no
// valid UTF-8 sequence is taken as Latin-1, so an answer in an older single-byte encoding
// still shows every character it holds (PlainText.h says why byte by byte).
class Utf8StreamDecoder final
{
public:
    QString decode(QByteArrayView chunk);

    // The stream has ended: the bytes of a character that never completed, as Latin-1.
    QString flush();

private:
    QByteArray m_held;
};
