// Raw page bytes through the real parse: written as the page file of a work folder and parsed
// by PageParser::ParsePage, exactly as a harvest run does after a fetch.
//
// Checked besides not crashing: the rows equal an in-memory reading of the page by the same
// line and cell rules, which stops after one hundred captured proxy rows (so the two file
// passes, the line ends and the cell file's round trip lose and add nothing); every entry is
// five fields without CR, LF or colon; the bar's value never passes its maximum; and the parse
// ends with its final caption and no temporary file left.

#include "CountingYielder.h"
#include "FuzzCheck.h"
#include "HarvestControls.h"
#include "PageParser.h"
#include "PlainText.h"
#include "ProgressDisplay.h"
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

class CheckedProgress final : public ProgressDisplay
{
public:
    int value() const override { return m_value; }
    void setValue(int value) override
    {
        FUZZ_CHECK(value >= 0 && value <= m_maximum);
        m_value = value;
    }
    void setMaximum(int maximum) override { m_maximum = maximum; }
    void setCaption(const QString& caption) override { m_caption = caption; }

    const QString& caption() const { return m_caption; }

private:
    int m_value = 0;
    int m_maximum = 0;
    QString m_caption;
};

class ParserControls final : public HarvestControls
{
public:
    QString startCaption() const override { return {}; }
    void setStartCaption(const QString&) override {}
    QString pageCountText() const override { return {}; }
    void setPageCountText(const QString&) override {}
    void setReceivedText(const QString& text) override { received = text; }
    ProgressDisplay& pagesBar() override { return pages; }
    ProgressDisplay& pageBar() override { return page; }
    void setListActionsEnabled(bool) override {}

    QString received;
    CheckedProgress pages;
    CheckedProgress page;
};

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
        const bool marker = IsRowMarker(line);
        if (marker && markers < CaptureMarker)
            ++markers;
        const QByteArray cell = markers == CaptureMarker ? CellText(line) : QByteArray();
        if (markers < CaptureMarker || cell.startsWith("<a"))
            continue;
        if (!cell.isEmpty()) {
            entryText += DecodeText(cell) + u':';
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

    ParserControls controls;
    ProxyTable table;
    CountingYielder yielder;
    PageParser parser(controls, table, yielder, folder.path());
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
        FUZZ_CHECK(controls.received == QString::number(table.count()));
    FUZZ_CHECK(controls.page.caption() == u"Current Page Extraction Complete."_s);
    FUZZ_CHECK(controls.page.value() == 0);
    FUZZ_CHECK(folder.entryList({u"*.tmp"_s}, QDir::Files).isEmpty());
    return 0;
}
