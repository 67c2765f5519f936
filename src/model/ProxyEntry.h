#pragma once

#include <QString>

#include <optional>

// One row of the proxy table: five fields stored exactly as the page gave them.
struct ProxyEntry
{
    enum Column { IpAddress, Port, Type, Country, LastTest, ColumnCount };

    QString ipAddress;
    QString port;
    QString type;
    QString country;
    QString lastTest;

    // The entry text is the five fields in column order, each followed by ":". It is cut at
    // every colon without escaping, so a colon inside a field moves the later fields one
    // column on; pieces after the fifth are ignored. Nothing for fewer than five pieces.
    static std::optional<ProxyEntry> fromEntryText(QStringView entryText);

    const QString& field(int column) const;

    friend bool operator==(const ProxyEntry&, const ProxyEntry&) = default;
};
