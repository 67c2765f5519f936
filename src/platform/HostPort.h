#pragma once

#include <QString>

#include <optional>

// A server named on the command line as HOST or HOST:PORT.
struct HostPort
{
    QString host;
    std::optional<quint16> port; // none: the service's usual port

    // The host, and the port where one was given: the authority part of a URL.
    QString authority() const;
    quint16 portOr(quint16 usualPort) const { return port.value_or(usualPort); }

    friend bool operator==(const HostPort&, const HostPort&) = default;
};

// A host name, an IPv4 address or a bracketed IPv6 address, then an optional port from 1 to
// 65535. Nothing for anything else.
std::optional<HostPort> ParseHostPort(const QString& text);
