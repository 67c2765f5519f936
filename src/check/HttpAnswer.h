#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>

#include <optional>
#include <utility>

using HeaderField = std::pair<QByteArray, QByteArray>; // a name and its value

// Whether the text is a token, as HTTP writes a method or a header's name.
bool IsHttpToken(QByteArrayView text);

// A header line "Name: value" as its name and its value without the white space around it;
// nothing for a line that is no header field (an empty or malformed name, no colon).
std::optional<HeaderField> ParseHeaderField(QByteArrayView line);

// Reads one HTTP/1.x answer as its bytes arrive from a peer that may be hostile: the status
// line, the header, and a body framed by chunked coding, a Content-Length or the close. Interim
// 1xx answers are skipped. At most `cap` bytes of the answer are read, header and body as they
// came, so a longer answer fails, and every byte is looked at a bounded number of times however
// the answer is split. Lines may end in a bare LF.
class HttpAnswer final
{
public:
    enum class Framing {
        WholeAnswer,
        HeaderOnly, // a CONNECT reply: the bytes after its header belong to the tunnel
    };
    enum class State { Incomplete, Complete, Failed };

    explicit HttpAnswer(qsizetype cap, Framing framing = Framing::WholeAnswer);

    // More bytes came. Once the answer is complete or failed, they are not read, except that a
    // header-only answer keeps them for takeRest().
    State read(QByteArrayView bytes);
    // The peer closed: a body framed by the close is complete now; any other answer is cut short.
    State readEnd();

    State state() const { return m_state; }
    // Whether the answer is HTTP/1.x, which its first 12 bytes tell ("HTTP/1.1 200"): nothing
    // until they came, false as soon as a byte differs, so another protocol can be tried at once.
    std::optional<bool> isHttp() const { return m_isHttp; }
    // The code of the latest status line: -1 before the first, an interim 1xx until the final one.
    int status() const { return m_status; }
    // The final answer's header of that name, in any case; the values of a repeated one joined by
    // ", ". Empty when there is none.
    QByteArray header(QByteArrayView name) const;
    const QByteArray& body() const { return m_body; } // with chunked coding undone
    // A header-only answer: the bytes that came after its header. Each byte is handed over once.
    QByteArray takeRest() { return std::exchange(m_rest, {}); }
    // Why the answer failed, for a person to read.
    const QString& failure() const { return m_failure; }

private:
    enum class Part { StatusLine, Header, Body, ChunkSize, ChunkData, ChunkEnd, Trailer };

    bool step();
    bool readStatusLine();
    bool readHeaderLine();
    bool readChunkSize();
    bool readBodyBytes();
    void startBody();
    std::optional<QByteArrayView> takeLine();
    std::optional<QByteArray> field(QByteArrayView name) const; // nothing when there is none
    void complete();
    bool fail(const QString& reason); // false: a step that fails reads no further
    QString tooLong() const;

    qsizetype m_cap;
    Framing m_framing;
    State m_state = State::Incomplete;
    Part m_part = Part::StatusLine;
    QByteArray m_buffer; // what came and is not read yet, from m_at on
    qsizetype m_at = 0;
    qsizetype m_scanned = 0; // m_buffer holds no line end before this
    qsizetype m_taken = 0; // bytes of the answer taken in all, up to the cap
    qsizetype m_bodyLeft = -1; // of the body or the chunk; -1: the body ends with the connection
    std::optional<bool> m_isHttp;
    int m_status = -1;
    QList<HeaderField> m_headers;
    QByteArray m_body;
    QByteArray m_rest;
    QString m_failure;
};
