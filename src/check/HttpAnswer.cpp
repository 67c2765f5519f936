#include "HttpAnswer.h"

#include <algorithm>
#include <string_view>

using namespace Qt::StringLiterals;

namespace {

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

// The characters of a header name, as HTTP allows them.
bool IsTokenCharacter(char c)
{
    static constexpr std::string_view Marks = "!#$%&'*+-.^_`|~";
    return IsDigit(c) || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || Marks.find(c) != std::string_view::npos;
}

// Whether the start of an answer is shaped "HTTP/1.x NNN": true once its 12 bytes are, false at
// the first byte that is not, nothing while too few came to tell.
std::optional<bool> StatusLineStart(QByteArrayView start)
{
    static constexpr std::string_view Shape = "HTTP/1.# ###";
    const qsizetype compared = std::min(start.size(), qsizetype(Shape.size()));
    for (qsizetype at = 0; at < compared; ++at) {
        const char expected = Shape[std::size_t(at)];
        if (expected == '#' ? !IsDigit(start[at]) : start[at] != expected)
            return false;
    }
    return compared == qsizetype(Shape.size()) ? std::optional(true) : std::nullopt;
}

// 0 to 15 for a hexadecimal digit, 16 and more for the letters after 'f'; nothing for any other
// character.
std::optional<int> DigitValue(char c)
{
    if (IsDigit(c))
        return c - '0';
    const char lower = char(c | 0x20);
    return lower >= 'a' ? std::optional(lower - 'a' + 10) : std::nullopt;
}

struct Number
{
    qsizetype value = 0; // over the limit: more than the limit, however many digits followed
    qsizetype digits = 0;
};

// The number the text begins with, as far as its digits go, in a way that never overflows.
Number ReadNumber(QByteArrayView text, int base, qsizetype limit)
{
    Number number;
    for (; number.digits < text.size(); ++number.digits) {
        const std::optional<int> digit = DigitValue(text[number.digits]);
        if (!digit || *digit >= base)
            break;
        number.value = number.value > (limit - *digit) / base ? limit + 1 : number.value * base + *digit;
    }
    return number;
}

// A Content-Length's value, said once or repeated as a list: nothing when malformed, which
// values that differ are.
std::optional<qsizetype> ContentLength(const QByteArray& value, qsizetype limit)
{
    std::optional<qsizetype> length;
    for (const QByteArray& part : value.split(',')) {
        const QByteArray digits = part.trimmed();
        const Number number = ReadNumber(digits, 10, limit);
        if (digits.isEmpty() || number.digits != digits.size() || (length && *length != number.value))
            return std::nullopt;
        length = number.value;
    }
    return length;
}

} // namespace

bool IsHttpToken(QByteArrayView text)
{
    return !text.isEmpty() && std::all_of(text.begin(), text.end(), IsTokenCharacter);
}

std::optional<HeaderField> ParseHeaderField(QByteArrayView line)
{
    const qsizetype colon = line.indexOf(':');
    if (colon < 0 || !IsHttpToken(line.first(colon)))
        return std::nullopt;
    return HeaderField{line.first(colon).toByteArray(), line.sliced(colon + 1).trimmed().toByteArray()};
}

HttpAnswer::HttpAnswer(qsizetype cap, Framing framing)
    : m_cap(cap)
    , m_framing(framing)
{
}

HttpAnswer::State HttpAnswer::read(QByteArrayView bytes)
{
    if (m_state == State::Complete && m_framing == Framing::HeaderOnly)
        m_rest += bytes;
    if (m_state != State::Incomplete)
        return m_state;
    const qsizetype taken = std::min(bytes.size(), m_cap - m_taken);
    m_buffer += bytes.first(taken);
    m_taken += taken;
    while (m_state == State::Incomplete && step()) {
    }
    if (m_state == State::Complete && m_framing == Framing::HeaderOnly)
        m_rest = m_buffer.sliced(m_at).append(bytes.sliced(taken));
    else if (m_state == State::Incomplete && taken < bytes.size())
        fail(tooLong());
    // What was read goes, so that a long answer in small pieces costs no more than in one.
    m_buffer.remove(0, m_at);
    m_scanned -= m_at;
    m_at = 0;
    return m_state;
}

HttpAnswer::State HttpAnswer::readEnd()
{
    if (m_state != State::Incomplete)
        return m_state;
    if (m_part == Part::Body && m_bodyLeft < 0)
        complete();
    else if (m_taken == 0)
        fail(u"the connection closed without an answer"_s);
    else if (m_part == Part::StatusLine || m_part == Part::Header)
        fail(u"the connection closed before the header was complete"_s);
    else
        fail(u"the connection closed before the body was complete"_s);
    return m_state;
}

QByteArray HttpAnswer::header(QByteArrayView name) const
{
    return field(name).value_or(QByteArray());
}

std::optional<QByteArray> HttpAnswer::field(QByteArrayView name) const
{
    QByteArrayList values;
    for (const auto& [fieldName, value] : m_headers) {
        if (name.compare(fieldName, Qt::CaseInsensitive) == 0)
            values.append(value);
    }
    return values.isEmpty() ? std::nullopt : std::optional(values.join(", "));
}

// Reads what the buffer holds of the part the answer is in; false when it needs more bytes.
bool HttpAnswer::step()
{
    switch (m_part) {
    case Part::StatusLine:
        return readStatusLine();
    case Part::Header:
        return readHeaderLine();
    case Part::Body:
    case Part::ChunkData:
        return readBodyBytes();
    case Part::ChunkSize:
        return readChunkSize();
    case Part::ChunkEnd:
        if (const std::optional<QByteArrayView> line = takeLine()) {
            if (!line->isEmpty())
                return fail(u"the chunked body is malformed"_s);
            m_part = Part::ChunkSize;
            return true;
        }
        return false;
    case Part::Trailer:
        if (const std::optional<QByteArrayView> line = takeLine()) {
            if (line->isEmpty())
                complete();
            return true;
        }
        return false;
    }
    return false;
}

bool HttpAnswer::readStatusLine()
{
    if (!m_isHttp)
        m_isHttp = StatusLineStart(QByteArrayView(m_buffer).sliced(m_at));
    if (m_isHttp == false)
        return fail(u"the answer is not HTTP/1.x"_s);
    const std::optional<QByteArrayView> line = takeLine();
    if (!line)
        return false;
    if (StatusLineStart(*line) != true || (line->size() > 12 && line->at(12) != ' '))
        return fail(u"the status line is malformed"_s);
    m_status = line->sliced(9, 3).toInt();
    m_headers.clear();
    m_part = Part::Header;
    return true;
}

bool HttpAnswer::readHeaderLine()
{
    const std::optional<QByteArrayView> line = takeLine();
    if (!line)
        return false;
    if (line->isEmpty()) {
        startBody();
        return true;
    }
    // A line that begins with white space continues the one before, as older senders fold them.
    if ((line->startsWith(' ') || line->startsWith('\t')) && !m_headers.isEmpty()) {
        m_headers.last().second += ' ' + line->trimmed().toByteArray();
        return true;
    }
    const std::optional<HeaderField> field = ParseHeaderField(*line);
    if (!field)
        return fail(u"a header line is malformed"_s);
    m_headers.append(*field);
    return true;
}

void HttpAnswer::startBody()
{
    if (m_status / 100 == 1) {
        m_part = Part::StatusLine; // an interim answer: the final one follows
        return;
    }
    if (m_framing == Framing::HeaderOnly || m_status == 204 || m_status == 304)
        return complete();
    // A transfer coding other than chunked last leaves the close to end the body.
    const QByteArray codings = header("Transfer-Encoding");
    if (!codings.isEmpty()) {
        const bool chunked = codings.split(',').constLast().trimmed().compare("chunked", Qt::CaseInsensitive) == 0;
        m_part = chunked ? Part::ChunkSize : Part::Body;
        return;
    }
    m_part = Part::Body;
    const std::optional<QByteArray> length = field("Content-Length");
    if (!length)
        return;
    const std::optional<qsizetype> bodySize = ContentLength(*length, m_cap);
    if (!bodySize) {
        fail(u"the Content-Length is malformed"_s);
        return;
    }
    if (*bodySize > m_cap) {
        fail(tooLong());
        return;
    }
    m_bodyLeft = *bodySize; // an empty body is complete at the next step
}

bool HttpAnswer::readChunkSize()
{
    const std::optional<QByteArrayView> line = takeLine();
    if (!line)
        return false;
    const Number size = ReadNumber(*line, 16, m_cap);
    const QByteArrayView extensions = line->sliced(size.digits).trimmed();
    if (size.digits == 0 || !(extensions.isEmpty() || extensions.startsWith(';')))
        return fail(u"the chunked body is malformed"_s);
    if (size.value > m_cap)
        return fail(tooLong());
    m_bodyLeft = size.value;
    m_part = m_bodyLeft == 0 ? Part::Trailer : Part::ChunkData;
    return true;
}

bool HttpAnswer::readBodyBytes()
{
    const qsizetype available = m_buffer.size() - m_at;
    const qsizetype taken = m_bodyLeft < 0 ? available : std::min(available, m_bodyLeft);
    m_body += QByteArrayView(m_buffer).sliced(m_at, taken);
    m_at += taken;
    m_scanned = std::max(m_scanned, m_at);
    if (m_bodyLeft < 0)
        return false;
    m_bodyLeft -= taken;
    if (m_bodyLeft > 0)
        return false;
    if (m_part == Part::ChunkData)
        m_part = Part::ChunkEnd;
    else
        complete();
    return true;
}

// The next whole line without its line end, LF or CR LF; nothing until one came.
std::optional<QByteArrayView> HttpAnswer::takeLine()
{
    const qsizetype end = m_buffer.indexOf('\n', m_scanned);
    if (end < 0) {
        m_scanned = m_buffer.size();
        return std::nullopt;
    }
    QByteArrayView line = QByteArrayView(m_buffer).sliced(m_at, end - m_at);
    if (line.endsWith('\r'))
        line.chop(1);
    m_at = end + 1;
    m_scanned = m_at;
    return line;
}

void HttpAnswer::complete()
{
    m_state = State::Complete;
}

bool HttpAnswer::fail(const QString& reason)
{
    m_state = State::Failed;
    m_failure = reason;
    return false;
}

QString HttpAnswer::tooLong() const
{
    return u"the answer is longer than %1 bytes"_s.arg(m_cap);
}
