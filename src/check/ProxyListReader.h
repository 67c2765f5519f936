#pragma once

#include "ProbeResult.h"

#include <QByteArray>
#include <QString>

#include <variant>
#include <vector>

class QIODevice;

// One proxy of a list file, and the line it was read from, so that a checked list can be
// written back exactly as it came.
struct ProxyRecord
{
    QByteArray line; // without its line end
    QString address;
    quint16 port = 0;
    QString type; // empty for the address-and-port format, which has none
    std::optional<ProxyLogin> login;

    friend bool operator==(const ProxyRecord&, const ProxyRecord&) = default;
};

struct MalformedLine
{
    qsizetype number = 0; // counted from 1
    QString reason;

    friend bool operator==(const MalformedLine&, const MalformedLine&) = default;
};

struct ProxyList
{
    std::vector<ProxyRecord> proxies;
    std::vector<MalformedLine> malformed;
};

// A line of either format the save window writes: the address, a separator without digits,
// the port; or the five fields separated by tabs (address, port, type, country, last test).
// Also "user:password@host:port" and "scheme://[user:password@]host:port" with the schemes http,
// https, socks4, socks4a, socks5 and socks5h, which set the type (the login percent-encoded).
// The reason the line is no proxy otherwise.
std::variant<ProxyRecord, QString> ParseProxyLine(const QByteArray& line);

// Reads the device's lines to its end (whether it failed is the device's to tell). Blank lines are skipped silently; malformed lines are
// skipped and told, so one bad line never costs the rest of the list.
ProxyList ReadProxyList(QIODevice& device);

// Keeps the first line of each proxy: a later line naming the same host (a name compared
// case-insensitively, an address in its canonical form) and port is dropped, whatever its
// scheme or login. Returns how many were dropped.
qsizetype RemoveRepeats(std::vector<ProxyRecord>& proxies);
