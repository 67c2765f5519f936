// Raw page bytes through PageParser::ParsePage, as a run parses a fetched page. The rows must be
// those of a plain in-memory reading of the page, the progress must stay within its maximum and
// end complete, and no temporary file may be left.

#include "CountingYielder.h"
#include "FuzzCheck.h"
#include "PageParser.h"
#include "PageRules.h"
#include "ProxyTable.h"

#include <QDir>
#include <QTemporaryDir>

#include <cstdint>

namespace {

// From the fifth marker line to the 101st captured one, the cell of every line not holding a
// link; every five non-empty cells, each read as UTF-8 when it is and as Latin-1 otherwise, are
// an entry whose fields are the first five pieces of the cells joined with colons.
QStringList ExpectedRows(QByteArrayView page)
{
    QStringList lines = QString::fromLatin1(page).split(QRegularExpression(QStringLiteral("\r\n|\r|\n")));
    lines.removeAll(QString()); // empty lines give no cell and are no markers
    QStringList rows;
    QStringList cells;
    int markers = 0;
    int captured = 0;
    for (const QString& line : lines) {
        const bool marker = IsMarkerText(line);
        markers += marker && markers < 5 ? 1 : 0;
        const QString cell = CellOf(line);
        if (markers < 5 || cell.startsWith(QStringLiteral("<a")))
            continue;
        if (!cell.isEmpty())
            cells.append(cell.toLatin1().isValidUtf8() ? QString::fromUtf8(cell.toLatin1()) : cell);
        if (cells.size() == 5) {
            rows.append((cells.join(u':') + u':').section(u':', 0, 4));
            cells.clear();
        }
        if (marker && ++captured == 101)
            break;
    }
    return rows;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const QTemporaryDir folder;
    const QByteArrayView page(data, static_cast<qsizetype>(size));
    QFile file(QDir(folder.path()).filePath(QString::fromLatin1(PageParser::PageFileName)));
    FUZZ_CHECK(file.open(QIODevice::WriteOnly) && file.write(page.data(), page.size()) == page.size());
    file.close();

    ProxyTable table;
    CountingYielder yielder;
    PageParser parser(table, yielder, folder.path());
    ParseStage last = ParseStage::Parsing;
    QObject::connect(&parser, &PageParser::progressed, &parser, [&last](ParseStage stage, int value, int maximum) {
        FUZZ_CHECK(value >= 0 && value <= maximum);
        last = stage;
    });
    parser.ParsePage();
    QStringList rows;
    for (int row = 0; row < table.count(); ++row) {
        const ProxyEntry& entry = table.entry(row);
        rows.append(QStringList{entry.ipAddress, entry.port, entry.type, entry.country, entry.lastTest}.join(u':'));
    }
    FUZZ_CHECK(rows == ExpectedRows(page));
    FUZZ_CHECK(last == ParseStage::Complete && QDir(folder.path()).isEmpty());
    return 0;
}
