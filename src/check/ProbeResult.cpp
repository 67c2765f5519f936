#include "ProbeResult.h"

#include "HostPort.h"

using namespace Qt::StringLiterals;

QString LevelName(ProbeLevel level)
{
    switch (level) {
    case ProbeLevel::None:
        return u"none"_s;
    case ProbeLevel::Reachable:
        return u"reachable"_s;
    case ProbeLevel::Speaks:
        return u"speaks"_s;
    case ProbeLevel::Works:
        return u"works"_s;
    }
    return {};
}

std::optional<ProbeLevel> LevelNamed(const QString& name)
{
    for (const ProbeLevel level : {ProbeLevel::Reachable, ProbeLevel::Speaks, ProbeLevel::Works}) {
        if (LevelName(level) == name)
            return level;
    }
    return std::nullopt;
}

QString ProtocolName(ProxyProtocol protocol)
{
    switch (protocol) {
    case ProxyProtocol::Http:
        return u"HTTP"_s;
    case ProxyProtocol::Socks5:
        return u"SOCKS5"_s;
    case ProxyProtocol::Socks4:
        return u"SOCKS4"_s;
    }
    return {};
}

std::vector<ProxyProtocol> ProtocolsFor(const QString& type)
{
    std::vector<ProxyProtocol> named;
    for (const ProxyProtocol protocol : {ProxyProtocol::Http, ProxyProtocol::Socks5, ProxyProtocol::Socks4}) {
        if (type.contains(ProtocolName(protocol), Qt::CaseInsensitive))
            named.push_back(protocol);
    }
    if (named.empty())
        return {ProxyProtocol::Http, ProxyProtocol::Socks5, ProxyProtocol::Socks4};
    return named;
}

std::optional<Judge> JudgeAt(const QUrl& url, const QByteArray& expect)
{
    if (!url.isValid() || url.scheme() != u"http"_s || url.host().isEmpty() || !url.userInfo().isEmpty())
        return std::nullopt;
    Judge judge;
    judge.host = url.host();
    judge.port = quint16(url.port(80));
    // ":80" goes without saying; a host name goes in its ASCII form.
    const std::optional<quint16> port = judge.port == 80 ? std::nullopt : std::optional(judge.port);
    judge.hostHeader = HostPort{url.host(QUrl::EncodeUnicode), port}.authority().toLatin1();
    judge.path = url.path(QUrl::FullyEncoded).isEmpty() ? QByteArray("/") : url.path(QUrl::FullyEncoded).toLatin1();
    if (url.hasQuery())
        judge.path += '?' + url.query(QUrl::FullyEncoded).toLatin1();
    judge.absoluteUrl = "http://" + judge.hostHeader + judge.path;
    judge.expect = expect;
    return judge;
}
