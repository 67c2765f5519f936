// Raw page bytes through the real parse: written as the page file of a work folder and parsed
// by PageParser::ParsePage, exactly as a harvest run does after a fetch.
//
// Checked besides not crashing: the rows equal an in-memory reading of the page by the same
// line and cell rules, which stops after one hundred captured proxy rows (so the two file
// passes, the line ends and the cell file's round trip lose and add nothing); every entry is
// five fields without CR, LF or colon; the progress never passes its maximum; and the parse
// ends with its final caption and no temporary file left.

#include "CountingYielder.h"
#include "FuzzCheck.h"
#include "PageParser.h"
#include "ProxyTable.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <cstdint>

using namespace Qt::StringLiterals;

namespace {

constexpr int CaptureMarker = 5;
constexpr int LastCapturedMarker = 101;
constexpr int CellsPerEntry = 5;

// The rules read plainly, apart from the parser's own code.
QByteArray TrimmedOfSpaces(QByteArray text)
{
    while (text.startsWith(' '))
        text.remove(0, 1);
    while (text.endsWith(' '))
        text.chop(1);
    return text;
}

bool IsMarkerLine(QByteArrayView line)
{
    return TrimmedOfSpaces(line.toByteArray()) == "<tr align=\"center\">";
}

QByteArray FirstCell(QByteArrayView line)
{
    const QByteArray text = line.toByteArray();
    const qsizetype open = text.indexOf("<td>");
    if (open < 0)
        return {};
    QByteArray piece = text.mid(open + 4);
    piece.truncate(piece.indexOf("<td>") < 0 ? piece.size() : piece.indexOf("<td>"));
    return TrimmedOfSpaces(piece.replace("</td>", ""));
}

QString Decoded(const QByteArray& cell)
{
    return cell.isValidUtf8() ? QString::fromUtf8(cell) : QString::fromLatin1(cell);
}

// A line ends at CR LF, a lone CR or a lone LF; a line end at the very end adds no line.
QList<QByteArrayView> SplitLines(QByteArrayView page)
{
    QList<QByteArrayView> lines;
    qsizetype start = 0;
    for (qsizetype at = 0; at < page.size(); ++at) {
        if (page[at] != '\r' && page[at] != '\n')
            continue;
        lines.append(page.sliced(start, at - start));
        if (page[at] == '\r' && at + 1 < page.size() && page[at + 1] == '\n')
            ++at;
        start = at + 1;
    }
    if (start < page.size())
        lines.append(page.sliced(start));
    return lines;
}

// The page read in memory: from the fifth row marker on, each non-link line's cell in page
// order, up to the 101st captured marker; every five non-empty cells are one entry text, cut
// at its colons.
QList<QStringList> ReadInMemory(QByteArrayView page)
{
    QList<QStringList> entries; // five fields each
    int markers = 0;
    int capturedRows = 0;
    QString entryText;
    int cells = 0;
    for (const QByteArrayView line : SplitLines(page)) {
        const bool marker = IsMarkerLine(line);
        if (marker && markers < CaptureMarker)
            ++markers;
        const QByteArray cell = markers == CaptureMarker ? FirstCell(line) : QByteArray();
        if (markers < CaptureMarker || cell.startsWith("<a"))
            continue;
        if (!cell.isEmpty()) {
            entryText += Decoded(cell) + u':';
            if (++cells == CellsPerEntry) {
                entries.append(entryText.split(u':').first(CellsPerEntry));
                entryText.clear();
                cells = 0;
            }
        }
        if (marker && ++capturedRows == LastCapturedMarker)
            break;
    }
    return entries;
}

const QString& WorkFolder()
{
    static const QTemporaryDir folder;
    FUZZ_CHECK(folder.isValid());
    static const QString path = folder.path();
    return path;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArrayView page(data, static_cast<qsizetype>(size));
    const QDir folder(WorkFolder());
    {
        QFile file(folder.filePath(QString::fromLatin1(PageParser::PageFileName)));
        FUZZ_CHECK(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        FUZZ_CHECK(file.write(page.data(), page.size()) == page.size());
    }

    ProxyTable table;
    CountingYielder yielder;
    PageParser parser(table, yielder, folder.path());
    QString received;
    ParseStage lastStage = ParseStage::Parsing;
    int lastValue = -1;
    QObject::connect(&parser, &PageParser::progressed, &parser, [&](ParseStage stage, int value, int maximum) {
        FUZZ_CHECK(value >= 0 && value <= maximum);
        lastStage = stage;
        lastValue = value;
    });
    QObject::connect(&parser, &PageParser::entryAppended, &parser,
                     [&received](int rowCount) { received = QString::number(rowCount); });
    parser.ParsePage();

    const QList<QStringList> expected = ReadInMemory(page);
    FUZZ_CHECK(table.count() == expected.size());
    for (int row = 0; row < table.count(); ++row) {
        const ProxyEntry& entry = table.entry(row);
        for (int column = 0; column < ProxyEntry::ColumnCount; ++column) {
            const QString& field = entry.field(column);
            FUZZ_CHECK(field == expected[row][column]);
            FUZZ_CHECK(!field.contains(u'\r') && !field.contains(u'\n') && !field.contains(u':'));
        }
    }
    if (table.count() > 0)
        FUZZ_CHECK(received == QString::number(table.count()));
    FUZZ_CHECK(lastStage == ParseStage::Complete && lastValue == 0);
    FUZZ_CHECK(folder.entryList({u"*.tmp"_s}, QDir::Files).isEmpty());
    return 0;
}
