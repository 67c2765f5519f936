// An entry text through ProxyEntry::fromEntryText: cut at every colon, pieces 0 to 4 are the five
// fields and the rest is ignored; fewer than five pieces give no entry.

#include "FuzzCheck.h"
#include "ProxyEntry.h"

#include <QStringList>

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QString text = QString::fromUtf8(QByteArrayView(data, static_cast<qsizetype>(size)));
    const QStringList pieces = text.split(u':');
    const std::optional<ProxyEntry> entry = ProxyEntry::fromEntryText(text);
    FUZZ_CHECK(entry.has_value() == (pieces.size() >= ProxyEntry::ColumnCount));
    for (int column = 0; entry && column < ProxyEntry::ColumnCount; ++column)
        FUZZ_CHECK(entry->field(column) == pieces[column]);
    return 0;
}
