#include "PageParser.h"

#include "EventYielder.h"
#include "ProxyTable.h"
#include "TextFiles.h"

#include <QDir>

#include <limits>
#include <string_view>

namespace {

constexpr QByteArrayView CellOpen = "<td>";
constexpr QByteArrayView CellClose = "</td>";
constexpr QByteArrayView RowMarker = "<tr align=\"center\">";
constexpr QByteArrayView LinkPrefix = "<a";

// The first four row markers open the table's header rows; capture begins at the fifth and
// the 101st captured marker ends the page, so a page gives at most one hundred rows.
constexpr int CaptureMarker = 5;
constexpr int LastCapturedMarker = 101;
constexpr int CellsPerEntry = 5;

QByteArrayView TrimSpaces(QByteArrayView text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && text[begin] == ' ')
        ++begin;
    while (end > begin && text[end - 1] == ' ')
        --end;
    return text.sliced(begin, end - begin);
}

// Where the text holds the other first, or -1: the standard library's search is several times
// faster than Qt's on lines this short.
qsizetype Find(QByteArrayView text, QByteArrayView what)
{
    const std::string_view::size_type found =
        std::string_view(text.data(), text.size()).find(what.data(), 0, what.size());
    return found == std::string_view::npos ? -1 : qsizetype(found);
}

// Cell texts are stored as UTF-8, whatever encoding the page used: a cell that is not UTF-8 is
// read whole as Latin-1 (PlainText.h says why whole).
QByteArray AsUtf8(QByteArray cell)
{
    if (QByteArrayView(cell).isValidUtf8())
        return cell;
    return QString::fromLatin1(cell).toUtf8();
}

} // namespace

QByteArray CellText(QByteArrayView line)
{
    const qsizetype open = Find(line, CellOpen);
    if (open < 0)
        return {};
    QByteArrayView rest = line.sliced(open + CellOpen.size());
    const qsizetype next = Find(rest, CellOpen);
    if (next >= 0)
        rest.truncate(next);
    // One copy of what lies between the "</td>"s; most cells have no spaces around them.
    QByteArray text;
    text.reserve(rest.size());
    for (qsizetype close = Find(rest, CellClose); close >= 0; close = Find(rest, CellClose)) {
        text += rest.first(close);
        rest = rest.sliced(close + CellClose.size());
    }
    text += rest;
    const QByteArrayView trimmed = TrimSpaces(text);
    return trimmed.size() == text.size() ? text : trimmed.toByteArray();
}

bool IsRowMarker(QByteArrayView line)
{
    return TrimSpaces(line) == RowMarker;
}

PageParser::PageParser(ProxyTable& table, EventYielder& yielder, QString workFolder, QObject* parent)
    : QObject(parent)
    , m_table(table)
    , m_yielder(yielder)
    , m_workFolder(std::move(workFolder))
{
}

QString PageParser::pageFilePath() const
{
    return QDir(m_workFolder).filePath(QString::fromLatin1(PageFileName));
}

QString PageParser::cellFilePath() const
{
    return QDir(m_workFolder).filePath(QString::fromLatin1(CellFileName));
}

bool PageParser::yieldAndContinue()
{
    m_yielder.yield();
    return !m_abandoned;
}

std::optional<int> PageParser::CountLines(QIODevice& device)
{
    if (!device.reset())
        return std::nullopt;
    LineReader reader(device);
    int lines = 0;
    while (!reader.atEnd()) {
        reader.readLine();
        if (lines == std::numeric_limits<int>::max())
            return std::nullopt;
        ++lines;
        if (!yieldAndContinue())
            return std::nullopt;
    }
    if (reader.failed() || !device.reset())
        return std::nullopt;
    return lines;
}

// A stage begins with the value 0, then counts the lines it will read, which gives its progress
// maximum, and only then tells its caption.
bool PageParser::beginStage(ParseStage stage, QIODevice& device)
{
    Q_EMIT stageBeginning();
    const std::optional<int> lines = CountLines(device);
    if (!lines)
        return false;
    m_maximum = *lines;
    Q_EMIT progressed(stage, 0, m_maximum);
    return true;
}

void PageParser::ParsePage()
{
    // Unbuffered: the passes read and write in chunks of their own.
    QFile page(pageFilePath());
    const FileStatus opened = OpenFile(page, QIODevice::ReadOnly | QIODevice::Unbuffered);
    if (opened == FileStatus::NotFound)
        Q_EMIT progressed(ParseStage::Parsing, 0, m_maximum);
    QFile cells(cellFilePath());
    if (opened != FileStatus::Ok || !ParsePage(page, cells))
        return;
    page.close();
    cells.close();
    DeleteMatching(m_workFolder, QStringLiteral("*.tmp"));
}

bool PageParser::ParsePage(QIODevice& page, QIODevice& cells)
{
    if (!beginStage(ParseStage::Parsing, page)
        || !cells.open(QIODevice::ReadWrite | QIODevice::Truncate | QIODevice::Unbuffered)
        || !extractCells(page, cells))
        return false;
    if (!beginStage(ParseStage::Extracting, cells) || !buildEntries(cells))
        return false;
    Q_EMIT progressed(ParseStage::Complete, 0, m_maximum);
    return true;
}

// First pass: from the fifth row marker on, every line's cell text goes to the cell file as a
// line of its own (an empty one for a line without a cell), except link cells.
bool PageParser::extractCells(QIODevice& page, QIODevice& cells)
{
    LineReader pageLines(page);
    LineWriter cellLines(cells);
    int lines = 0;
    int markers = 0;
    int capturedRows = 0;
    while (!pageLines.atEnd()) {
        const QByteArrayView line = pageLines.readLine();
        const bool marker = IsRowMarker(line);
        if (marker && markers != CaptureMarker)
            ++markers;
        if (markers == CaptureMarker) {
            const QByteArray cell = CellText(line);
            if (!cell.startsWith(LinkPrefix)) {
                if (!cellLines.writeLine(AsUtf8(cell)))
                    return false;
                if (marker && ++capturedRows == LastCapturedMarker)
                    break;
            }
        }
        Q_EMIT progressed(ParseStage::Parsing, ++lines, m_maximum);
    }
    return !pageLines.failed() && cellLines.flush();
}

// Second pass: every five non-empty cell lines make one entry, in file order; an incomplete
// last group is dropped.
bool PageParser::buildEntries(QIODevice& cells)
{
    LineReader cellLines(cells);
    int lines = 0;
    QByteArray entryText; // UTF-8, decoded once an entry: ':' ends a cell's bytes either way
    int cellCount = 0;
    while (!cellLines.atEnd()) {
        const QByteArrayView line = cellLines.readLine();
        if (!line.isEmpty()) {
            entryText += line;
            entryText += ':';
            if (++cellCount == CellsPerEntry) {
                if (!m_table.AddProxyEntry(QString::fromUtf8(entryText)))
                    return false;
                entryText.resize(0);
                cellCount = 0;
                Q_EMIT entryAppended(m_table.count());
                if (!yieldAndContinue())
                    return false;
            }
        }
        Q_EMIT progressed(ParseStage::Extracting, ++lines, m_maximum);
    }
    return !cellLines.failed();
}
