#include "ProxyListReader.h"

#include "PlainText.h"

#include <QHostAddress>
#include <QIODevice>
#include <QRegularExpression>
#include <QSet>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace {

// Longer than any line a list site gives: such a line is binary or broken, and is not kept.
constexpr qsizetype LineCap = 4096;

// An IPv4 address, a bracketed IPv6 address or a host name, which holds a letter: "1.2.3"
// followed by ".4" is no host and port.
constexpr auto HostPattern =
    uR"((\d{1,3}(?:\.\d{1,3}){3}|\[[0-9A-Fa-f:.]+\]|(?=[A-Za-z0-9.-]*[A-Za-z])[A-Za-z0-9](?:[A-Za-z0-9-]*[A-Za-z0-9])?(?:\.[A-Za-z0-9](?:[A-Za-z0-9-]*[A-Za-z0-9])?)*))";

const QRegularExpression& Host()
{
    static const QRegularExpression pattern(u'^' + QString::fromUtf16(HostPattern) + u'$');
    return pattern;
}

// The host, then any separator that holds no digit (a digit would leave the port's start in
// doubt), then the port.
// A scheme's or a login's line separates host and port by a colon, as a URL does.
const QRegularExpression& HostColonPort()
{
    static const QRegularExpression pattern(u'^' + QString::fromUtf16(HostPattern) + uR"(:(\d{1,5})$)"_s);
    return pattern;
}

const QRegularExpression& AddressAndPort()
{
    static const QRegularExpression pattern(u'^' + QString::fromUtf16(HostPattern) + uR"(([^0-9]+)(\d{1,5})$)"_s);
    return pattern;
}

std::variant<ProxyRecord, QString> Record(const QByteArray& line, QString address, const QString& port, QString type,
                                          std::optional<ProxyLogin> login = {})
{
    if (!Host().match(address).hasMatch())
        return u"\"%1\" is not an address or a host name"_s.arg(address);
    // A host name holds a letter outside brackets; anything else must be an IP address.
    const bool bracketed = address.startsWith(u'[');
    if (bracketed)
        address = address.mid(1, address.size() - 2);
    const bool named = !bracketed && std::any_of(address.begin(), address.end(), [](QChar c) { return c.isLetter(); });
    bool isNumber = false;
    const uint number = port.toUInt(&isNumber);
    if (!isNumber || number == 0 || number > 65535)
        return u"the port \"%1\" is not a number from 1 to 65535"_s.arg(port);
    // In brackets stands an IPv6 address, which is how "[1]" is no way of writing 0.0.0.1.
    const QHostAddress ip(address);
    if (!named && (ip.isNull() || bracketed != (ip.protocol() == QAbstractSocket::IPv6Protocol)))
        return u"\"%1\" is not an IP address"_s.arg(address);
    return ProxyRecord{line, std::move(address), quint16(number), std::move(type), std::move(login)};
}

// A scheme names the type; "https" is what proxy lists mean by it: an HTTP proxy that tunnels
// with CONNECT, not TLS to the proxy.
const QStringList& Schemes()
{
    static const QStringList schemes{u"http"_s, u"https"_s, u"socks4"_s, u"socks4a"_s, u"socks5"_s, u"socks5h"_s};
    return schemes;
}

// "scheme://[user:password@]host:port" (a slash may end it) or "user:password@host:port", the
// login percent-encoded; nothing for a line of neither form, which may still be an address, a
// separator and a port: a separator may hold an "@".
std::optional<std::variant<ProxyRecord, QString>> ParseAddressLine(const QByteArray& line, QString text)
{
    static const QRegularExpression schemeStart(uR"(^([A-Za-z][A-Za-z0-9+.-]*)://)"_s);
    QString type;
    if (const QRegularExpressionMatch scheme = schemeStart.match(text); scheme.hasMatch()) {
        if (!Schemes().contains(scheme.captured(1).toLower()))
            return u"the scheme \"%1\" is not one of %2"_s.arg(scheme.captured(1), Schemes().join(u", "_s));
        type = scheme.captured(1).toUpper();
        text = text.mid(scheme.capturedLength());
        if (text.endsWith(u'/'))
            text.chop(1);
    }
    std::optional<ProxyLogin> login;
    const qsizetype at = text.lastIndexOf(u'@');
    const qsizetype colon = text.left(std::max<qsizetype>(at, 0)).indexOf(u':');
    if (at >= 0 && colon >= 0) {
        login = ProxyLogin{QByteArray::fromPercentEncoding(text.left(colon).toUtf8()),
                           QByteArray::fromPercentEncoding(text.mid(colon + 1, at - colon - 1).toUtf8())};
        text = text.mid(at + 1);
    }
    const QRegularExpressionMatch match = HostColonPort().match(text);
    if (type.isEmpty() && (!login || !match.hasMatch()))
        return std::nullopt;
    if (!match.hasMatch())
        return u"not a host and a port after the scheme or the login"_s;
    return Record(line, match.captured(1), match.captured(2), type, std::move(login));
}

} // namespace

std::variant<ProxyRecord, QString> ParseProxyLine(const QByteArray& line)
{
    const QString untrimmed = QString::fromUtf8(line);
    // The line goes back out as it came: it must not drive the terminal it is shown on, and
    // is refused when it is not UTF-8 (PlainText.h says why).
    if (HasControlCharacter(untrimmed, u"\t") || untrimmed.contains(QChar::ReplacementCharacter))
        return u"the line holds control characters or is not UTF-8"_s;
    const QString text = untrimmed.trimmed();
    const QStringList fields = text.split(u'\t');
    if (fields.size() == 5)
        return Record(line, fields[0].trimmed(), fields[1].trimmed(), fields[2].trimmed());
    if (fields.size() != 1 && fields.size() != 2)
        return u"%1 tab-separated fields; a list line has five, or an address and a port"_s.arg(fields.size());
    if (std::optional<std::variant<ProxyRecord, QString>> parsed = ParseAddressLine(line, text))
        return std::move(*parsed);
    const QRegularExpressionMatch match = AddressAndPort().match(text);
    if (!match.hasMatch())
        return u"not an address, a separator and a port"_s;
    return Record(line, match.captured(1), match.captured(3), {});
}

ProxyList ReadProxyList(QIODevice& device)
{
    ProxyList list;
    qsizetype number = 0;
    // An empty read is the end: a pipe's reads wait until the writer has written or closed.
    for (QByteArray line = device.readLine(LineCap + 1); !line.isEmpty(); line = device.readLine(LineCap + 1)) {
        ++number;
        if (!line.endsWith('\n') && line.size() >= LineCap) {
            list.malformed.push_back({number, u"%1 bytes or longer"_s.arg(LineCap)});
            QByteArray rest = device.readLine(LineCap + 1);
            while (!rest.isEmpty() && !rest.endsWith('\n'))
                rest = device.readLine(LineCap + 1);
            continue;
        }
        if (line.endsWith('\n'))
            line.chop(line.endsWith("\r\n") ? 2 : 1);
        if (line.trimmed().isEmpty())
            continue;
        std::variant<ProxyRecord, QString> parsed = ParseProxyLine(line);
        if (auto* record = std::get_if<ProxyRecord>(&parsed))
            list.proxies.push_back(std::move(*record));
        else
            list.malformed.push_back({number, std::get<QString>(parsed)});
    }
    return list;
}

qsizetype RemoveRepeats(std::vector<ProxyRecord>& proxies)
{
    QSet<QString> seen;
    seen.reserve(qsizetype(proxies.size()));
    const auto repeated = [&seen](const ProxyRecord& proxy) {
        const QHostAddress address(proxy.address);
        const QString host = address.isNull() ? proxy.address.toLower() : address.toString();
        const QString key = host + u' ' + QString::number(proxy.port);
        if (seen.contains(key))
            return true;
        seen.insert(key);
        return false;
    };
    const auto kept = std::remove_if(proxies.begin(), proxies.end(), repeated);
    const auto dropped = qsizetype(proxies.end() - kept);
    proxies.erase(kept, proxies.end());
    return dropped;
}
