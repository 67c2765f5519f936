#pragma once

#include "Anonymity.h"

#include <QByteArray>
#include <QHostAddress>
#include <QString>

#include <chrono>
#include <optional>
#include <vector>

// How far a proxy got: each level needs the ones before it.
enum class ProbeLevel {
    None, // no TCP connection
    Reachable, // a TCP connection opened
    Speaks, // it answered its protocol's handshake
    Works, // a request for the judge came back through it as only the judge answers it
};

// How a request goes through a proxy: handed to an HTTP proxy whole, or through a tunnel that
// CONNECT, SOCKS5 or SOCKS4 opens. Direct is the checker asking the judge itself.
enum class ProxyProtocol { Http, HttpConnect, Socks5, Socks4, Direct };

struct ProxyLogin
{
    QByteArray user;
    QByteArray password;

    friend bool operator==(const ProxyLogin&, const ProxyLogin&) = default;
};

struct ProbeSettings
{
    std::chrono::milliseconds timeout{6000}; // for the whole probe of one proxy
};

struct ProbeResult
{
    ProbeLevel level = ProbeLevel::None;
    std::optional<ProxyProtocol> protocol; // the one that got furthest
    qint64 connectMs = -1; // -1: no connection opened
    qint64 totalMs = 0;
    QString reason; // why it got no further; empty when it reached the last level it was asked for
    std::optional<Anonymity> anonymity; // for a proxy that works through a judge that echoes
    QString exitAddress; // the address the judge saw, for a proxy that works through one that echoes
    QHostAddress proxyAddress; // where the proxy was reached, its name resolved; null when it was not

    friend bool operator==(const ProbeResult&, const ProbeResult&) = default;
};

QString LevelName(ProbeLevel level);
std::optional<ProbeLevel> LevelNamed(const QString& name);
QString ProtocolName(ProxyProtocol protocol);

// A result's fields as a report shows them, on the command line and in the window: "pass" or
// why the proxy does not pass, and "-" for a field without a value.
QString VerdictText(const ProbeResult& result, bool passes);
QString ProtocolText(const ProbeResult& result);
QString AnonymityText(const ProbeResult& result);
QString ExitAddressText(const ProbeResult& result);
QString MillisecondsText(qint64 ms); // -1: none

// The protocols a list's type field names ("HTTP", "HTTPS", "SOCKS5", "SOCKS4"), in the order
// they are tried: HTTPS is an HTTP proxy that tunnels with CONNECT. An empty or unknown type
// tries them all, HTTP first. Without a judge a tunnel is never opened, so CONNECT is not tried
// apart: any HTTP answer tells that the proxy speaks.
std::vector<ProxyProtocol> ProtocolsFor(const QString& type, bool withJudge);

// Whether a tunnel through a proxy of this type is asked for a host by name, which the proxy
// resolves (socks4a and socks5h), rather than by the address the checker resolved.
bool SendsHostNames(const QString& type);
