#pragma once

#include <QByteArray>
#include <QString>
#include <QUrl>

#include <chrono>
#include <optional>
#include <vector>

// How far a proxy got: each level needs the ones before it.
enum class ProbeLevel {
    None, // no TCP connection
    Reachable, // a TCP connection opened
    Speaks, // it answered its protocol's handshake
    Works, // a page fetched through it came back as the judge serves it
};

enum class ProxyProtocol { Http, Socks5, Socks4 };

// The page a working proxy must fetch.
struct Judge
{
    QString host;
    quint16 port = 80;
    QByteArray hostHeader; // the host, and the port unless it is 80
    QByteArray absoluteUrl; // what an HTTP proxy is asked for
    QByteArray path; // what the judge itself is asked for, through a SOCKS tunnel
    QByteArray expect; // the page must hold this; empty: a status 200 is enough
};

// A judge at an http:// URL with a host; nothing for any other URL.
std::optional<Judge> JudgeAt(const QUrl& url, const QByteArray& expect);

struct ProbeSettings
{
    std::chrono::milliseconds timeout{6000}; // for the whole probe of one proxy
    std::optional<Judge> judge;
};

struct ProbeResult
{
    ProbeLevel level = ProbeLevel::None;
    std::optional<ProxyProtocol> protocol; // the one that answered
    qint64 connectMs = -1; // -1: no connection opened
    qint64 totalMs = 0;
    QString reason; // why it got no further; empty when it reached the last level it was asked for

    friend bool operator==(const ProbeResult&, const ProbeResult&) = default;
};

QString LevelName(ProbeLevel level);
std::optional<ProbeLevel> LevelNamed(const QString& name);
QString ProtocolName(ProxyProtocol protocol);

// The protocols a list's type field names ("HTTP", "HTTPS", "SOCKS5", "SOCKS4"), in the
// order they are tried; all of them, HTTP first, for an empty or unknown type.
std::vector<ProxyProtocol> ProtocolsFor(const QString& type);
