#pragma once

#include <QHostAddress>
#include <QString>

#include <optional>

// An address to listen on, as --listen takes it: an IPv4 address or a bracketed IPv6 address, a
// colon, and a port, 0 for a free one.
struct ListenAddress
{
    QHostAddress host;
    quint16 port = 0;

    static std::optional<ListenAddress> parse(const QString& text);
    // HOST:PORT, an IPv6 host in brackets.
    QString text() const;
};
