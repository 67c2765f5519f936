#include "ProbeResult.h"

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
    case ProxyProtocol::HttpConnect:
        return u"HTTP CONNECT"_s;
    case ProxyProtocol::Socks5:
        return u"SOCKS5"_s;
    case ProxyProtocol::Socks4:
        return u"SOCKS4"_s;
    case ProxyProtocol::Direct:
        return u"direct"_s;
    }
    return {};
}

QString VerdictText(const ProbeResult& result, bool passes)
{
    if (passes)
        return u"pass"_s;
    return result.reason.isEmpty() ? u"less anonymous than asked (%1)"_s.arg(AnonymityText(result)) : result.reason;
}

QString ProtocolText(const ProbeResult& result)
{
    return result.protocol ? ProtocolName(*result.protocol) : u"-"_s;
}

QString AnonymityText(const ProbeResult& result)
{
    return result.anonymity ? AnonymityName(*result.anonymity) : u"-"_s;
}

QString ExitAddressText(const ProbeResult& result)
{
    return result.exitAddress.isEmpty() ? u"-"_s : result.exitAddress;
}

QString MillisecondsText(qint64 ms)
{
    return ms < 0 ? u"-"_s : QString::number(ms);
}

std::vector<ProxyProtocol> ProtocolsFor(const QString& type, bool withJudge)
{
    const auto names = [&type](const char* name) {
        return type.contains(QLatin1StringView(name), Qt::CaseInsensitive);
    };
    std::vector<ProxyProtocol> tried;
    if (names("HTTPS") && withJudge)
        tried.push_back(ProxyProtocol::HttpConnect);
    if (names("HTTP"))
        tried.push_back(ProxyProtocol::Http);
    if (names("SOCKS5"))
        tried.push_back(ProxyProtocol::Socks5);
    if (names("SOCKS4"))
        tried.push_back(ProxyProtocol::Socks4);
    if (!tried.empty())
        return tried;
    if (withJudge)
        return {ProxyProtocol::Http, ProxyProtocol::HttpConnect, ProxyProtocol::Socks5, ProxyProtocol::Socks4};
    return {ProxyProtocol::Http, ProxyProtocol::Socks5, ProxyProtocol::Socks4};
}

bool SendsHostNames(const QString& type)
{
    return type.compare(u"SOCKS4A"_s, Qt::CaseInsensitive) == 0 || type.compare(u"SOCKS5H"_s, Qt::CaseInsensitive) == 0;
}
