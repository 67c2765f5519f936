#pragma once

#include <QString>

#include <optional>
#include <variant>

class QCommandLineOption;
class QCommandLineParser;

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

// The server a HOST[:PORT] option of a command line names (--site, --whois-server): the usual
// one when the option is not given; for a malformed value, the reason it is refused.
std::variant<HostPort, QString> ReadServerOption(const QCommandLineParser& parser, const QCommandLineOption& option,
                                                 const HostPort& usual);
