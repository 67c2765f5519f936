#include "CountingYielder.h"
#include "HarvestRecorder.h"
#include "PageParser.h"
#include "ProxyTable.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

const QByteArray Marker = "<tr align=\"center\">";

// The site's layout: header rows, then proxy rows of one line a cell, a link cell after the third.
QByteArray Page(const QList<QByteArrayList>& rows, int headerRows = 4)
{
    QByteArray page = (Marker + "\n<th>Header</th>\n</tr>\n").repeated(headerRows);
    for (const QByteArrayList& cells : rows) {
        page += Marker + "\n";
        for (qsizetype i = 0; i < cells.size(); ++i)
            page += "<td>" + cells[i] + "</td>\n" + (i == 2 ? "<td><a href=\"/w\">whois</a></td>\n" : "");
        page += "</tr>\n";
    }
    return page;
}

bool WriteFile(const QString& path, const QByteArray& content)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(content) == content.size();
}

} // namespace

class TstPageParser final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void pageGivesEntriesOfFive_data();
    void pageGivesEntriesOfFive();
    void progressCounterAndFilesFollowThePage();
    void countLinesFollowsTheLineEnds_data();
    void countLinesFollowsTheLineEnds();

private:
    void parse(const QByteArray& page);

    std::unique_ptr<QTemporaryDir> m_folder;
    ProxyTable m_table;
    CountingYielder m_yielder;
    std::unique_ptr<PageParser> m_parser;
    ProgressTrail m_trail;
    int m_received = 0; // the row count of the last entry
};

void TstPageParser::init()
{
    m_folder = std::make_unique<QTemporaryDir>();
    m_table.clear();
    m_yielder = {};
    m_parser = std::make_unique<PageParser>(m_table, m_yielder, m_folder->path());
    connect(m_parser.get(), &PageParser::progressed, this,
            [this](ParseStage stage, int value, int maximum) { m_trail.follow(stage, value, maximum); });
    connect(m_parser.get(), &PageParser::entryAppended, this, [this](int rowCount) { m_received = rowCount; });
}

void TstPageParser::parse(const QByteArray& page)
{
    m_trail = {};
    QVERIFY(WriteFile(m_parser->pageFilePath(), page + "\r\n")); // the run ends the page with a line break
    m_parser->ParsePage();
}

// The marker, cell and grouping rules in detail are the fuzz targets' work, seeds included.
void TstPageParser::pageGivesEntriesOfFive_data()
{
    QTest::addColumn<QByteArray>("page");
    QTest::addColumn<QStringList>("entries");

    const QByteArrayList cells{"1.2.3.4", "80", "HTTP", "Italy", "today"};
    const QStringList one{u"1.2.3.4:80:HTTP:Italy:today:"_s};
    QTest::newRow("link cell skipped") << Page({cells}) << one;
    QTest::newRow("four markers give nothing") << Page({cells}, 3) << QStringList();
    QTest::newRow("cells after the last row are captured")
        << Page({cells}) + "<td>a</td>\n<td>b</td>\n<td>c</td>\n<td>d</td>\n<td>e</td>\n"
        << QStringList{one.first(), u"a:b:c:d:e:"_s};
    QTest::newRow("each cell Latin-1 or UTF-8") << Page({{"1.2.3.4", "80", "HTTP", "M\xfcnchen", "M\xc3\xbcnchen"}})
                                                << QStringList{u"1.2.3.4:80:HTTP:M\u00fcnchen:M\u00fcnchen:"_s};
    const QByteArray huge(10 * 1024 * 1024, 'x');
    QTest::newRow("10 MB cell") << Page({{"1.2.3.4", "80", "HTTP", "Italy", huge}})
                                << QStringList{u"1.2.3.4:80:HTTP:Italy:"_s + QString::fromLatin1(huge) + u':'};
}

void TstPageParser::pageGivesEntriesOfFive()
{
    QFETCH(QByteArray, page);
    QFETCH(QStringList, entries);
    parse(page);
    QVERIFY(m_trail.items.constLast().startsWith(u"Current Page Extraction Complete."_s));
    QStringList texts;
    for (int row = 0; row < m_table.count(); ++row) {
        texts.append(QString());
        for (int column = 0; column < ProxyEntry::ColumnCount; ++column)
            texts.last() += m_table.entry(row).field(column) + u':';
    }
    QCOMPARE(texts, entries);
}

// A stale cell file is replaced, the sweep takes every "*.tmp" of the work folder and nothing
// else, and the counter shows the table's total, left alone by a page without rows.
void TstPageParser::progressCounterAndFilesFollowThePage()
{
    QTemporaryDir neighbour;
    for (const QString& path : {neighbour.filePath(u"mine.tmp"_s), m_folder->filePath(u"other.tmp"_s),
                                m_folder->filePath(u"notes.txt"_s), m_parser->cellFilePath()})
        QVERIFY(WriteFile(path, "<stale>\r\nA\r\nB\r\n"));
    m_table.append({u"9.9.9.9"_s, u"1"_s, u"HTTP"_s, u"Italy"_s, u"today"_s});

    // Twelve header lines, three rows of eight and the run's line end; from the fifth marker
    // on every line but the links writes a cell line.
    parse(Page({{"1.1.1.1", "80", "HTTP", "Italy", "today"},
                {"2.2.2.2", "80", "HTTP", "Italy", "today"},
                {"3.3.3.3", "80", "HTTP", "Italy", "today"}}));
    QCOMPARE(m_trail.items,
             (QStringList{u"Parsing Data... 0-37/37"_s, u"Extracting Proxys... 0-22/22"_s,
                          u"Current Page Extraction Complete. 0/22"_s}));
    QCOMPARE(m_received, 4);
    QCOMPARE(QDir(m_folder->path()).entryList(QDir::Files), QStringList{u"notes.txt"_s});
    QVERIFY(QFile::exists(neighbour.filePath(u"mine.tmp"_s)));

    // Without a page file the parse ends at the start of its first pass, keeping the maximum.
    m_trail = {};
    m_parser->ParsePage();
    QCOMPARE(m_trail.items, QStringList{u"Parsing Data... 0/22"_s});
    m_received = 0;
    parse(Page({}));
    QCOMPARE(m_trail.items.constFirst(), u"Parsing Data... 0-13/13"_s);
    QCOMPARE(m_received, 0);
}

void TstPageParser::countLinesFollowsTheLineEnds_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<int>("lines");
    QTest::newRow("empty") << QByteArray() << 0;
    QTest::newRow("an end at the end adds no line") << QByteArray("\r\na\r\n") << 2;
    QTest::newRow("last line without end") << QByteArray("a\r\nb") << 2;
    QTest::newRow("lone CR, lone LF, LF CR, CR CR LF") << QByteArray("a\rb\nc\n\rd\r\r\n") << 6;
    // The reader takes the file in chunks of 256 KiB; a CR LF split between two stays one end.
    QTest::newRow("CR LF across a chunk") << QByteArray(256 * 1024 - 1, 'a') + "\r\nb" << 2;
}

void TstPageParser::countLinesFollowsTheLineEnds()
{
    QFETCH(QByteArray, content);
    QFETCH(int, lines);
    const QString path = m_folder->filePath(u"count.txt"_s);
    QVERIFY(WriteFile(path, content));
    const LineCount counted = m_parser->CountLines(path);
    QCOMPARE(counted.status, FileStatus::Ok);
    QCOMPARE(counted.lines, lines);
    QCOMPARE(m_yielder.yields, lines); // the window is served after every line
}

QTEST_GUILESS_MAIN(TstPageParser)
#include "tst_pageparser.moc"
