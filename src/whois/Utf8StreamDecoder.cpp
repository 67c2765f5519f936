#include "Utf8StreamDecoder.h"

namespace {

constexpr int Invalid = -1;
constexpr int Incomplete = 0;

// The length of the UTF-8 sequence that starts at the given byte, Invalid when the bytes are
// no valid sequence (overlong forms, surrogates and code points above U+10FFFF included), or
// Incomplete when they are a valid start that the end of the bytes cuts short.
int SequenceLength(QByteArrayView bytes, qsizetype at)
{
    const auto lead = static_cast<uchar>(bytes[at]);
    if (lead < 0x80)
        return 1;
    int length = 0;
    uchar low = 0x80;
    uchar high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0)
            low = 0xA0;
        else if (lead == 0xED)
            high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0)
            low = 0x90;
        else if (lead == 0xF4)
            high = 0x8F;
    } else {
        return Invalid;
    }
    for (int k = 1; k < length; ++k) {
        if (at + k >= bytes.size())
            return Incomplete;
        const auto next = static_cast<uchar>(bytes[at + k]);
        if (next < low || next > high)
            return Invalid;
        low = 0x80;
        high = 0xBF;
    }
    return length;
}

} // namespace

QString Utf8StreamDecoder::decode(QByteArrayView chunk)
{
    const QByteArray bytes = m_held + chunk.toByteArray();
    m_held.clear();
    QString text;
    text.reserve(bytes.size());
    qsizetype validFrom = 0;
    qsizetype at = 0;
    while (at < bytes.size()) {
        const int length = SequenceLength(bytes, at);
        if (length > 0) {
            at += length;
            continue;
        }
        text += QString::fromUtf8(QByteArrayView(bytes).sliced(validFrom, at - validFrom));
        if (length == Incomplete) {
            m_held = bytes.sliced(at);
            return text;
        }
        text += QChar(char16_t(static_cast<uchar>(bytes[at])));
        validFrom = ++at;
    }
    text += QString::fromUtf8(QByteArrayView(bytes).sliced(validFrom));
    return text;
}

QString Utf8StreamDecoder::flush()
{
    QString rest = QString::fromLatin1(m_held);
    m_held.clear();
    return rest;
}
