#include "ProxyEntry.h"

#include <array>

std::optional<ProxyEntry> ProxyEntry::fromEntryText(QStringView entryText)
{
    std::array<QString, ColumnCount> pieces;
    qsizetype start = 0;
    for (std::size_t i = 0; i < pieces.size(); ++i) {
        const qsizetype colon = entryText.indexOf(u':', start);
        const bool lastPiece = i + 1 == pieces.size();
        if (colon < 0 && !lastPiece)
            return std::nullopt;
        // The fifth piece ends at the next colon, or at the end of a text that has none.
        const qsizetype end = colon < 0 ? entryText.size() : colon;
        pieces[i] = entryText.sliced(start, end - start).toString();
        start = end + 1;
    }
    return ProxyEntry{pieces[0], pieces[1], pieces[2], pieces[3], pieces[4]};
}

const QString& ProxyEntry::field(int column) const
{
    switch (column) {
    case Port:
        return port;
    case Type:
        return type;
    case Country:
        return country;
    case LastTest:
        return lastTest;
    default:
        return ipAddress;
    }
}
