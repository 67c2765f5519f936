#include "ProxyListReader.h"

#include "PlainText.h"

#include <QHostAddress>
#include <QIODevice>
#include <QRegularExpression>

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
const QRegularExpression& AddressAndPort()
{
    static const QRegularExpression pattern(u'^' + QString::fromUtf16(HostPattern) + uR"(([^0-9]+)(\d{1,5})$)"_s);
    return pattern;
}

std::variant<ProxyRecord, QString> Record(const QByteArray& line, QString address, const QString& port, QString type)
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
    if (!named && QHostAddress(address).isNull())
        return u"\"%1\" is not an IP address"_s.arg(address);
    return ProxyRecord{line, std::move(address), quint16(number), std::move(type)};
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
