// An entry text through the splitting that AddProxyEntry does (ProxyEntry::fromEntryText):
// it is cut at every colon, pieces 0 to 4 are the five fields and the rest is ignored; with
// fewer than five pieces there is no entry. An entry's fields, joined again the way the page
// parser builds an entry text, give the same entry back.

#include "FuzzCheck.h"
#include "ProxyEntry.h"

#include <QStringList>

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QString entryText = QString::fromUtf8(QByteArrayView(data, static_cast<qsizetype>(size)));
    const std::optional<ProxyEntry> entry = ProxyEntry::fromEntryText(entryText);
    const QStringList pieces = entryText.split(u':');

    FUZZ_CHECK(entry.has_value() == (pieces.size() >= ProxyEntry::ColumnCount));
    if (!entry)
        return 0;
    QString joined;
    for (int column = 0; column < ProxyEntry::ColumnCount; ++column) {
        FUZZ_CHECK(entry->field(column) == pieces[column]);
        joined += entry->field(column) + u':';
    }
    FUZZ_CHECK(ProxyEntry::fromEntryText(joined) == entry);
    FUZZ_CHECK(&entry->field(ProxyEntry::ColumnCount) == &entry->ipAddress);
    return 0;
}
