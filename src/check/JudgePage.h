#pragma once

#include "HttpAnswer.h"

#include <QHostAddress>

// An HTTP request as a server received it: the judge prints it, the local proxy server hands it on.
struct HttpRequest
{
    QHostAddress remoteAddress{};
    quint16 remotePort = 0;
    QByteArray method{};
    QByteArray target{};
    QByteArray protocol{};
    QList<HeaderField> headers{}; // in the order they came
};

// A request's head, its request line and header up to the empty line, as a judge reads it: the
// method, the target and HTTP/1.x, then "Name: value" lines; lines may end in a bare LF. Nothing
// for a head that is not one. The peer's address is not in the head.
std::optional<HttpRequest> ReadHttpRequest(QByteArrayView head);

// An IPv4-mapped IPv6 address as the IPv4 address it stands for; any other as it is.
QHostAddress PlainAddress(const QHostAddress& address);

// The page a judge serves, as the common public judges print the request: `NAME = value` lines
// for REMOTE_ADDR, REMOTE_PORT, REQUEST_METHOD, REQUEST_URI and SERVER_PROTOCOL, then HTTP_NAME
// for each header as CGI names it (upper case, '_' for any other character than a letter or a
// digit), a repeated one on one line with its values joined by ", ". A line break in a value is
// written as a space, so a value never starts a line of its own.
QByteArray JudgePageText(const HttpRequest& request);

// The `NAME = value` lines of a judge's page, wherever they are in it, NAME made of A-Z, 0-9
// and '_'. A page that starts with '<' is HTML: its tags end lines and its values are
// HTML-unescaped, as judges that wrap the lines in <pre> or end them with <br> write them.
class JudgeEnvironment final
{
public:
    using Line = std::pair<QByteArray, QByteArray>;

    // Nothing for a page without such a line.
    static std::optional<JudgeEnvironment> parse(QByteArrayView body);

    // The value of the first line of that name, so a line further down never overrides it.
    std::optional<QByteArray> value(QByteArrayView name) const;
    const QList<Line>& lines() const { return m_lines; }

private:
    QList<Line> m_lines;
};
