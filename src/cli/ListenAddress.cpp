#include "ListenAddress.h"

#include "HostPort.h"

using namespace Qt::StringLiterals;

std::optional<ListenAddress> ListenAddress::parse(const QString& text)
{
    const qsizetype colon = text.lastIndexOf(u':');
    QString host = text.left(colon);
    const QString port = text.mid(colon + 1);
    const bool bracketed = host.startsWith(u'[') && host.endsWith(u']');
    if (bracketed)
        host = host.mid(1, host.size() - 2);
    const QHostAddress address(host);
    const bool ipv6 = address.protocol() == QAbstractSocket::IPv6Protocol;
    bool isNumber = false;
    const uint number = port.toUInt(&isNumber);
    const bool digitsOnly =
        !port.isEmpty() && std::all_of(port.begin(), port.end(), [](QChar c) { return c.isDigit(); });
    if (colon < 0 || address.isNull() || bracketed != ipv6 || !address.scopeId().isEmpty() || !isNumber || !digitsOnly
        || number > 65535)
        return std::nullopt;
    return ListenAddress{address, quint16(number)};
}

QString ListenAddress::text() const
{
    return HostPort{host.toString(), port}.authority();
}
