#include "PageParser.h"

#include "EventYielder.h"
#include "ProxyTable.h"

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

LineCount PageParser::CountLines(const QString& path)
{
    LineReader reader(path);
    LineCount counted{reader.open(), 0};
    if (counted.status != FileStatus::Ok)
        return counted;
    while (!reader.atEnd()) {
        reader.readLine();
        if (counted.lines == std::numeric_limits<int>::max())
            return {FileStatus::Failed, counted.lines};
        ++counted.lines;
        if (!yieldAndContinue())
            return {FileStatus::Failed, counted.lines};
    }
    if (reader.failed())
        counted.status = FileStatus::Failed;
    return counted;
}

// A stage begins with counting the lines it will read, which gives its progress maximum.
PageParser::Step PageParser::beginStage(ParseStage stage, const QString& path)
{
    const LineCount counted = CountLines(path);
    if (counted.status == FileStatus::Failed)
        return Step::Failed;
    if (counted.status == FileStatus::Ok)
        m_maximum = counted.lines;
    Q_EMIT progressed(stage, 0, m_maximum);
    return Step::Done;
}

void PageParser::ParsePage()
{
    if (beginStage(ParseStage::Parsing, pageFilePath()) == Step::Failed)
        return;
    if (DeleteFile(cellFilePath()) == FileStatus::Failed || extractCells() == Step::Failed)
        return;
    if (beginStage(ParseStage::Extracting, cellFilePath()) == Step::Failed || buildEntries() == Step::Failed)
        return;
    Q_EMIT progressed(ParseStage::Complete, 0, m_maximum);
    DeleteMatching(m_workFolder, QStringLiteral("*.tmp"));
}

// First pass: from the fifth row marker on, every line's cell text goes to the cell file as a
// line of its own (an empty one for a line without a cell), except link cells.
PageParser::Step PageParser::extractCells()
{
    LineReader page(pageFilePath());
    LineWriter cells(cellFilePath(), LineWriter::Mode::Append);
    // A missing page file is passed over when opening it, but then there is nothing to read:
    // the first end-of-file test fails, and that ends the parse.
    const FileStatus pageOpened = page.open();
    if (pageOpened == FileStatus::Failed || cells.open() != FileStatus::Ok || pageOpened == FileStatus::NotFound)
        return Step::Failed;

    int lines = 0;
    int markers = 0;
    int capturedRows = 0;
    while (!page.atEnd()) {
        const QByteArrayView line = page.readLine();
        const bool marker = IsRowMarker(line);
        if (marker && markers != CaptureMarker)
            ++markers;
        if (markers == CaptureMarker) {
            const QByteArray cell = CellText(line);
            if (!cell.startsWith(LinkPrefix)) {
                if (!cells.writeLine(AsUtf8(cell)))
                    return Step::Failed;
                if (marker && ++capturedRows == LastCapturedMarker)
                    break;
            }
        }
        Q_EMIT progressed(ParseStage::Parsing, ++lines, m_maximum);
    }
    if (page.failed() || !cells.close())
        return Step::Failed;
    return Step::Done;
}

// Second pass: every five non-empty cell lines make one entry, in file order; an incomplete
// last group is dropped.
PageParser::Step PageParser::buildEntries()
{
    LineReader cells(cellFilePath());
    if (cells.open() != FileStatus::Ok)
        return Step::Failed;

    int lines = 0;
    QByteArray entryText; // UTF-8, decoded once an entry: ':' ends a cell's bytes either way
    int cellCount = 0;
    while (!cells.atEnd()) {
        const QByteArrayView line = cells.readLine();
        if (!line.isEmpty()) {
            entryText += line;
            entryText += ':';
            if (++cellCount == CellsPerEntry) {
                if (!m_table.AddProxyEntry(QString::fromUtf8(entryText)))
                    return Step::Failed;
                entryText.resize(0);
                cellCount = 0;
                Q_EMIT entryAppended(m_table.count());
                if (!yieldAndContinue())
                    return Step::Failed;
            }
        }
        Q_EMIT progressed(ParseStage::Extracting, ++lines, m_maximum);
    }
    return cells.failed() ? Step::Failed : Step::Done;
}
