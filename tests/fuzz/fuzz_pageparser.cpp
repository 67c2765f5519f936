// Raw page bytes through PageParser::ParsePage, over in-memory devices in place of the page and
// cell files. The rows must be those the page rules give when read as slices of the whole page,
// and the progress must stay within its maximum and end complete.

#include "CountingYielder.h"
#include "FuzzCheck.h"
#include "PageParser.h"
#include "PageRules.h"
#include "ProxyTable.h"

#include <QBuffer>

#include <cstdint>

namespace {

// The page's lines from its fifth row marker up to its 105th; of those, the cells that are not
// empty and hold no link, each UTF-8 when it is and Latin-1 otherwise, five to an entry whose
// fields are the first five pieces of its cells joined with colons.
QStringList ExpectedRows(QByteArrayView page)
{
    static const QRegularExpression lineEnd(QStringLiteral("\r\n|\r|\n"));
    const QStringList lines = QString::fromLatin1(page).split(lineEnd);
    QList<qsizetype> markers;
    for (qsizetype at = 0; at < lines.size(); ++at) {
        if (IsMarkerText(lines[at]))
            markers.append(at);
    }
    if (markers.size() < 5)
        return {};
    const qsizetype end = markers.size() > 104 ? markers[104] : lines.size();
    QStringList cells;
    for (const QString& line : lines.mid(markers[4], end - markers[4])) {
        const QString cell = CellOf(line);
        if (!cell.isEmpty() && !cell.startsWith(QStringLiteral("<a")))
            cells.append(cell.toLatin1().isValidUtf8() ? QString::fromUtf8(cell.toLatin1()) : cell);
    }
    QStringList rows;
    for (qsizetype at = 0; at + 5 <= cells.size(); at += 5)
        rows.append((cells.mid(at, 5).join(u':') + u':').section(u':', 0, 4));
    return rows;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    QBuffer page(&bytes);
    page.open(QIODevice::ReadOnly);
    QBuffer cells;
    ProxyTable table;
    CountingYielder yielder;
    PageParser parser(table, yielder, QString());
    ParseStage last = ParseStage::Parsing;
    QObject::connect(&parser, &PageParser::progressed, &parser, [&last](ParseStage stage, int value, int maximum) {
        FUZZ_CHECK(value >= 0 && value <= maximum);
        last = stage;
    });
    FUZZ_CHECK(parser.ParsePage(page, cells) && last == ParseStage::Complete);
    QStringList rows;
    for (int row = 0; row < table.count(); ++row) {
        const ProxyEntry& entry = table.entry(row);
        rows.append(QStringList{entry.ipAddress, entry.port, entry.type, entry.country, entry.lastTest}.join(u':'));
    }
    FUZZ_CHECK(rows == ExpectedRows(bytes));
    return 0;
}
