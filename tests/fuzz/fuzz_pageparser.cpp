// Raw page bytes through PageParser::ParsePage, over in-memory devices in place of the page and
// cell files. The rows must be those the page rules give when the page is read as slices of
// its lines, and the progress must stay within its maximum and end complete. CellText and
// IsRowMarker, checked against their rules by fuzz_celltext, read the single lines here.

#include "FuzzCheck.h"
#include "PageParser.h"
#include "ProxyTable.h"
#include "ScriptedYielder.h"

#include <QBuffer>

#include <cstdint>

namespace {

// The page's lines, each ended by CR LF, a lone CR or a lone LF.
QList<QByteArrayView> Lines(QByteArrayView page)
{
    QList<QByteArrayView> lines;
    lines.reserve(page.count('\n') + page.count('\r') + 1);
    qsizetype start = 0;
    for (qsizetype at = 0; at < page.size(); ++at) {
        if (page[at] != '\r' && page[at] != '\n')
            continue;
        lines.append(page.sliced(start, at - start));
        at += page[at] == '\r' && page.sliced(at).startsWith("\r\n") ? 1 : 0;
        start = at + 1;
    }
    return lines << page.sliced(start);
}

// The lines from the page's fifth row marker up to its 105th; of those, the cells that are not
// empty and hold no link, each UTF-8 when it is and Latin-1 otherwise, five to an entry whose
// fields are the first five pieces of its cells joined with colons.
QStringList ExpectedRows(QByteArrayView page)
{
    const QList<QByteArrayView> lines = Lines(page);
    QList<qsizetype> markers;
    for (qsizetype at = 0; at < lines.size() && markers.size() < 105; ++at) {
        if (IsRowMarker(lines[at]))
            markers.append(at);
    }
    if (markers.size() < 5)
        return {};
    const qsizetype end = markers.size() == 105 ? markers.last() : lines.size();
    QStringList cells;
    for (const QByteArrayView line : lines.mid(markers[4], end - markers[4])) {
        const QByteArray cell = CellText(line);
        if (!cell.isEmpty() && !cell.startsWith("<a"))
            cells.append(QByteArrayView(cell).isValidUtf8() ? QString::fromUtf8(cell) : QString::fromLatin1(cell));
    }
    QStringList rows;
    for (qsizetype at = 0; at + 5 <= cells.size(); at += 5)
        rows.append((cells.mid(at, 5).join(u':') + u':').section(u':', 0, 4));
    return rows;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // One parser and table for every input, as a run keeps them from page to page.
    static ProxyTable table;
    static ScriptedYielder yielder;
    static PageParser parser(table, yielder, QString());
    static ParseStage last = ParseStage::Parsing;
    static const QMetaObject::Connection watch =
        QObject::connect(&parser, &PageParser::progressed, &parser, [](ParseStage stage, int value, int maximum) {
            FUZZ_CHECK(value >= 0 && value <= maximum);
            last = stage;
        });
    QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    QBuffer page(&bytes);
    page.open(QIODevice::ReadOnly);
    QBuffer cells;
    table.clear();
    FUZZ_CHECK(parser.ParsePage(page, cells) && last == ParseStage::Complete);
    QStringList rows;
    for (int row = 0; row < table.count(); ++row) {
        const ProxyEntry& entry = table.entry(row);
        rows.append(QStringList{entry.ipAddress, entry.port, entry.type, entry.country, entry.lastTest}.join(u':'));
    }
    FUZZ_CHECK(rows == ExpectedRows(bytes));
    return 0;
}
