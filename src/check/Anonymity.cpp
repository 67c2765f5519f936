#include "Anonymity.h"

#include <algorithm>

using namespace Qt::StringLiterals;

namespace {

struct ProxyHeader
{
    QByteArrayView name; // as the judge's page names it
    bool carriesClientAddress;
};

// The request headers that proxies add, as proxy checkers look for them: each reveals a proxy,
// and those that name the client's address (often its own, further down a chain) are searched
// for the checker's.
constexpr ProxyHeader ProxyHeaders[] = {
    {"HTTP_VIA", true},
    {"HTTP_X_FORWARDED_FOR", true},
    {"HTTP_FORWARDED", true},
    {"HTTP_FORWARDED_FOR", true},
    {"HTTP_FORWARDED_FOR_IP", true},
    {"HTTP_X_FORWARDED", true},
    {"HTTP_X_REAL_IP", true},
    {"HTTP_CLIENT_IP", true},
    {"HTTP_X_CLIENT_IP", true},
    {"HTTP_TRUE_CLIENT_IP", true},
    {"HTTP_X_ORIGINATING_IP", true},
    {"HTTP_X_REMOTE_IP", true},
    {"HTTP_X_REMOTE_ADDR", true},
    {"HTTP_X_CLUSTER_CLIENT_IP", true},
    {"HTTP_CF_CONNECTING_IP", true},
    {"HTTP_X_COMING_FROM", true},
    {"HTTP_COMING_FROM", true},
    {"HTTP_X_PROXYUSER_IP", true},
    {"HTTP_PROXY_CONNECTION", false},
    {"HTTP_X_PROXY_CONNECTION", false},
    {"HTTP_XROXY_CONNECTION", false},
    {"HTTP_X_PROXY_ID", false},
    {"HTTP_MT_PROXY_ID", false},
    {"HTTP_X_BLUECOAT_VIA", false},
    {"HTTP_X_TINYPROXY", false},
    {"HTTP_PROXY_AGENT", false},
    {"HTTP_X_IMFORWARDS", false},
    {"HTTP_X_FORWARDED_HOST", false},
    {"HTTP_X_FORWARDED_PROTO", false},
    {"HTTP_X_FORWARDED_PORT", false},
    {"HTTP_X_FORWARDED_SERVER", false},
};

// Four decimal numbers of at most three digits, 0 to 255, between dots; none of the shorter or
// octal forms an old resolver reads.
std::optional<QHostAddress> Ipv4Address(QByteArrayView text)
{
    const QList<QByteArray> parts = text.toByteArray().split('.');
    quint32 address = 0;
    for (const QByteArray& part : parts) {
        const bool digits = std::all_of(part.begin(), part.end(), [](char c) { return c >= '0' && c <= '9'; });
        if (part.isEmpty() || part.size() > 3 || !digits || part.toUInt() > 255)
            return std::nullopt;
        address = address << 8 | part.toUInt();
    }
    return parts.size() == 4 ? std::optional(QHostAddress(address)) : std::nullopt;
}

// Hexadecimal groups between colons, perhaps with an IPv4 address at the end; a zone is cut off.
std::optional<QHostAddress> Ipv6Address(QByteArrayView text)
{
    const QHostAddress parsed(QString::fromLatin1(text.first(text.contains('%') ? text.indexOf('%') : text.size())));
    if (parsed.protocol() != QAbstractSocket::IPv6Protocol)
        return std::nullopt;
    return parsed;
}

// One item of a header's list: an address, "[IPv6]", or either with ":port" after it.
std::optional<QHostAddress> AddressItem(QByteArrayView item)
{
    if (item.startsWith('[')) {
        const QByteArrayView inside = item.sliced(1);
        return inside.contains(']') ? Ipv6Address(inside.first(inside.indexOf(']'))) : std::nullopt;
    }
    const qsizetype colons = item.count(':');
    if (colons > 1)
        return Ipv6Address(item);
    return Ipv4Address(colons == 1 ? item.first(item.indexOf(':')) : item);
}

QByteArrayView Unquoted(QByteArrayView text)
{
    while (text.startsWith('"'))
        text = text.sliced(1);
    while (text.endsWith('"'))
        text.chop(1);
    return text;
}

bool IsListSeparator(char c)
{
    return c == ',' || c == ';' || c == ' ' || c == '\t' || c == '(' || c == ')';
}

} // namespace

QString AnonymityName(Anonymity level)
{
    switch (level) {
    case Anonymity::Transparent:
        return u"transparent"_s;
    case Anonymity::Anonymous:
        return u"anonymous"_s;
    case Anonymity::Elite:
        return u"elite"_s;
    }
    return {};
}

std::optional<Anonymity> AnonymityNamed(const QString& name)
{
    for (const Anonymity level : {Anonymity::Transparent, Anonymity::Anonymous, Anonymity::Elite}) {
        if (AnonymityName(level) == name)
            return level;
    }
    return std::nullopt;
}

std::vector<QHostAddress> AddressesInHeader(QByteArrayView value)
{
    std::vector<QHostAddress> addresses;
    for (const auto* start = value.begin(); start != value.end();) {
        const auto* const end = std::find_if(start, value.end(), IsListSeparator);
        QByteArrayView item(start, end);
        start = end == value.end() ? end : end + 1;
        if (const qsizetype equals = item.indexOf('='); equals >= 0) {
            if (Unquoted(item.first(equals)).compare("for", Qt::CaseInsensitive) != 0)
                continue;
            item = item.sliced(equals + 1);
        }
        if (const std::optional<QHostAddress> address = AddressItem(Unquoted(item)))
            addresses.push_back(*address);
    }
    return addresses;
}

Anonymity GradeAnonymity(const JudgeEnvironment& environment, const QHostAddress& checkerAddress)
{
    const auto namesChecker = [&checkerAddress](const QByteArray& value) {
        const std::vector<QHostAddress> addresses = AddressesInHeader(value);
        return std::any_of(addresses.cbegin(), addresses.cend(), [&checkerAddress](const QHostAddress& address) {
            return address.isEqual(checkerAddress, QHostAddress::ConvertV4MappedToIPv4);
        });
    };
    if (namesChecker(environment.value("REMOTE_ADDR").value_or(QByteArray())))
        return Anonymity::Transparent;
    bool proxyRevealed = false;
    for (const ProxyHeader& header : ProxyHeaders) {
        const std::optional<QByteArray> value = environment.value(header.name);
        if (value && header.carriesClientAddress && namesChecker(*value))
            return Anonymity::Transparent;
        proxyRevealed = proxyRevealed || value.has_value();
    }
    return proxyRevealed ? Anonymity::Anonymous : Anonymity::Elite;
}
