#include "JudgePage.h"

#include <QHash>

#include <algorithm>

namespace {

bool IsNameCharacter(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
}

// A header's name as CGI gives it to a script.
QByteArray CgiName(const QByteArray& headerName)
{
    QByteArray name = "HTTP_" + headerName.toUpper();
    for (char& c : name) {
        if (!IsNameCharacter(c))
            c = '_';
    }
    return name;
}

QByteArray OneLine(QByteArray value)
{
    return value.replace('\r', ' ').replace('\n', ' ').trimmed();
}

// The lines of a text, each without its line end, LF or CR LF.
QList<QByteArrayView> Lines(QByteArrayView text)
{
    QList<QByteArrayView> lines;
    for (qsizetype start = 0; start < text.size();) {
        qsizetype end = text.indexOf('\n', start);
        if (end < 0)
            end = text.size();
        const QByteArrayView line = text.sliced(start, end - start);
        lines.append(line.endsWith('\r') ? line.chopped(1) : line);
        start = end + 1;
    }
    return lines;
}

QByteArray TagsAsLineEnds(QByteArrayView html)
{
    QByteArray text;
    bool inTag = false;
    for (const char c : html) {
        if (c == '<') {
            inTag = true;
            text += '\n';
        } else if (c == '>' && inTag) {
            inTag = false;
        } else if (!inTag) {
            text += c;
        }
    }
    return text;
}

// The printable ASCII character an HTML character reference such as "amp", "#39" or "#x27"
// names; nothing for any other.
std::optional<char> Entity(QByteArrayView name)
{
    static constexpr std::pair<QByteArrayView, char> Named[] = {
        {"amp", '&'}, {"lt", '<'}, {"gt", '>'}, {"quot", '"'}, {"apos", '\''}};
    for (const auto& [entity, c] : Named) {
        if (name == entity)
            return c;
    }
    if (!name.startsWith('#'))
        return std::nullopt;
    const bool hexadecimal = name.startsWith("#x") || name.startsWith("#X");
    bool ok = false;
    const int code = name.sliced(hexadecimal ? 2 : 1).toByteArray().toInt(&ok, hexadecimal ? 16 : 10);
    return ok && code >= ' ' && code <= '~' ? std::optional(char(code)) : std::nullopt;
}

QByteArray Unescaped(QByteArrayView text)
{
    constexpr qsizetype LongestEntity = 10; // "&#x00027;" and the like
    QByteArray plain;
    for (qsizetype at = 0; at < text.size(); ++at) {
        const qsizetype end = text.sliced(at, std::min(text.size() - at, LongestEntity)).indexOf(';');
        const std::optional<char> c = text[at] == '&' && end > 0 ? Entity(text.sliced(at + 1, end - 1)) : std::nullopt;
        plain += c.value_or(text[at]);
        if (c)
            at += end;
    }
    return plain;
}

} // namespace

std::optional<HttpRequest> ReadHttpRequest(QByteArrayView head)
{
    const QList<QByteArrayView> lines = Lines(head);
    const QList<QByteArray> requestLine = lines.value(0).toByteArray().split(' ');
    if (requestLine.size() != 3)
        return std::nullopt;
    HttpRequest request{.method = requestLine[0], .target = requestLine[1], .protocol = requestLine[2]};
    const auto printable = [](char c) { return c > ' ' && c != '\x7f'; };
    if (!IsHttpToken(request.method) || request.target.isEmpty()
        || !std::all_of(request.target.cbegin(), request.target.cend(), printable)
        || !(request.protocol.size() == 8 && request.protocol.startsWith("HTTP/1.")
             && QByteArrayView("0123456789").contains(request.protocol[7])))
        return std::nullopt;
    for (const QByteArrayView line : lines.sliced(1)) {
        if (line.isEmpty())
            break;
        const std::optional<HeaderField> field = ParseHeaderField(line);
        if (!field)
            return std::nullopt;
        request.headers.append(*field);
    }
    return request;
}

QHostAddress PlainAddress(const QHostAddress& address)
{
    bool mapped = false;
    const quint32 ipv4 = address.toIPv4Address(&mapped);
    return mapped ? QHostAddress(ipv4) : address;
}

QByteArray JudgePageText(const HttpRequest& request)
{
    QList<JudgeEnvironment::Line> lines{
        {"REMOTE_ADDR", PlainAddress(request.remoteAddress).toString().toLatin1()},
        {"REMOTE_PORT", QByteArray::number(request.remotePort)},
        {"REQUEST_METHOD", request.method},
        {"REQUEST_URI", request.target},
        {"SERVER_PROTOCOL", request.protocol},
    };
    QHash<QByteArray, qsizetype> lineNamed;
    for (const auto& [name, value] : request.headers) {
        const QByteArray cgiName = CgiName(name);
        if (const auto known = lineNamed.constFind(cgiName); known != lineNamed.cend()) {
            lines[*known].second += ", " + value;
        } else {
            lineNamed.insert(cgiName, lines.size());
            lines.append({cgiName, value});
        }
    }
    QByteArray page;
    for (const auto& [name, value] : lines)
        page += name + " = " + OneLine(value) + '\n';
    return page;
}

std::optional<JudgeEnvironment> JudgeEnvironment::parse(QByteArrayView body)
{
    const bool html = body.trimmed().startsWith('<');
    const QByteArray text = html ? TagsAsLineEnds(body) : body.toByteArray();
    JudgeEnvironment environment;
    for (const QByteArrayView line : Lines(text)) {
        const QByteArrayView trimmed = line.trimmed();
        const qsizetype nameSize = std::find_if_not(trimmed.begin(), trimmed.end(), IsNameCharacter) - trimmed.begin();
        const QByteArrayView afterName = trimmed.sliced(nameSize).trimmed();
        if (nameSize == 0 || !afterName.startsWith('='))
            continue;
        const QByteArrayView value = afterName.sliced(1).trimmed();
        environment.m_lines.append(
            {trimmed.first(nameSize).toByteArray(), html ? Unescaped(value).trimmed() : value.toByteArray()});
    }
    if (environment.m_lines.isEmpty())
        return std::nullopt;
    return environment;
}

std::optional<QByteArray> JudgeEnvironment::value(QByteArrayView name) const
{
    const auto line = std::find_if(m_lines.cbegin(), m_lines.cend(), [name](const Line& l) { return l.first == name; });
    return line == m_lines.cend() ? std::nullopt : std::optional(line->second);
}
