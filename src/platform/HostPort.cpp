#include "HostPort.h"

#include <QHostAddress>

#include <algorithm>

namespace {

bool IsHostNameCharacter(QChar c)
{
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9') || c == u'-' || c == u'.'
        || c == u'_';
}

bool IsHostName(QStringView name)
{
    constexpr qsizetype LongestHostName = 253;
    if (name.isEmpty() || name.size() > LongestHostName || name.startsWith(u'.') || name.startsWith(u'-'))
        return false;
    return std::all_of(name.begin(), name.end(), IsHostNameCharacter) && !name.contains(u"..");
}

// QHostAddress reads an IPv6 text only up to a NUL and takes anything after a "%" as the
// scope, so the characters are checked first: hex digits, colons, the dots of an embedded
// IPv4 address and a scope named like a network interface.
bool IsIpv6Address(QStringView text)
{
    const auto allowed = [](QChar c) { return IsHostNameCharacter(c) || c == u':' || c == u'%'; };
    return std::all_of(text.begin(), text.end(), allowed)
        && QHostAddress(text.toString()).protocol() == QAbstractSocket::IPv6Protocol;
}

std::optional<quint16> ParsePort(QStringView text)
{
    if (text.isEmpty() || text.size() > 5
        || !std::all_of(text.begin(), text.end(), [](QChar c) { return c.isDigit(); }))
        return std::nullopt;
    const uint port = text.toUInt();
    if (port < 1 || port > 65535)
        return std::nullopt;
    return static_cast<quint16>(port);
}

} // namespace

QString HostPort::authority() const
{
    const QString shownHost = host.contains(u':') ? u'[' + host + u']' : host;
    return port ? shownHost + u':' + QString::number(*port) : shownHost;
}

std::optional<HostPort> ParseHostPort(const QString& text)
{
    QStringView host = text;
    QStringView port;
    if (text.startsWith(u'[')) {
        const qsizetype close = text.indexOf(u']');
        if (close < 0)
            return std::nullopt;
        host = QStringView(text).sliced(1, close - 1);
        const QStringView rest = QStringView(text).sliced(close + 1);
        if (!rest.isEmpty() && !rest.startsWith(u':'))
            return std::nullopt;
        port = rest.isEmpty() ? QStringView() : rest.sliced(1);
        if (!rest.isEmpty() && port.isEmpty())
            return std::nullopt;
        if (!IsIpv6Address(host))
            return std::nullopt;
    } else {
        const qsizetype colon = text.lastIndexOf(u':');
        if (colon >= 0) {
            host = QStringView(text).first(colon);
            port = QStringView(text).sliced(colon + 1);
            if (port.isEmpty())
                return std::nullopt;
        }
        if (!IsHostName(host))
            return std::nullopt;
    }
    HostPort parsed{host.toString(), std::nullopt};
    if (!port.isEmpty()) {
        parsed.port = ParsePort(port);
        if (!parsed.port)
            return std::nullopt;
    }
    return parsed;
}
