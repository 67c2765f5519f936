#include "HarvestRecorder.h"
#include "PageParser.h"

#include <QDir>
#include <QFile>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

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
    void parsesAPage();
    void countLinesFollowsTheLineEnds_data();
    void countLinesFollowsTheLineEnds();

private:
    std::unique_ptr<QTemporaryDir> m_folder;
    ProxyTable m_table;
    CountingYielder m_yielder;
    std::unique_ptr<PageParser> m_parser;
};

void TstPageParser::init()
{
    m_folder = std::make_unique<QTemporaryDir>();
    m_yielder = {};
    m_parser = std::make_unique<PageParser>(m_table, m_yielder, m_folder->path());
}

// The marker, cell and grouping rules in detail are the fuzz targets' work, seeds included. Here
// one page over a stale cell file and other files: a cell is read as UTF-8 when it is and as
// Latin-1 otherwise and may be huge, and the sweep takes every "*.tmp" of the work folder and
// nothing else.
void TstPageParser::parsesAPage()
{
    QTemporaryDir neighbour;
    for (const QString& path : {neighbour.filePath(u"mine.tmp"_s), m_folder->filePath(u"other.tmp"_s),
                                m_folder->filePath(u"notes.txt"_s), m_parser->cellFilePath()})
        QVERIFY(WriteFile(path, "<stale>\r\nA\r\nB\r\n"));
    ProgressTrail trail;
    connect(m_parser.get(), &PageParser::progressed, this,
            [&trail](ParseStage stage, int value, int maximum) { trail.follow(stage, value, maximum); });

    // The site's layout: header rows, then proxy rows of one line a cell, a link cell after the third.
    const QByteArray huge(10 * 1024 * 1024, 'x');
    QByteArray page = QByteArray("<tr align=\"center\">\n<th>Header</th>\n</tr>\n").repeated(4);
    for (const QByteArrayList& cells : {QByteArrayList{"1.1.1.1", "80", "HTTP", "Italy", "today"},
                                        {"2.2.2.2", "80", "HTTP", "M\xfcnchen", "M\xc3\xbcnchen"},
                                        {"3.3.3.3", "80", "HTTP", "Italy", huge}}) {
        page += "<tr align=\"center\">\n";
        for (qsizetype i = 0; i < cells.size(); ++i)
            page += "<td>" + cells[i] + "</td>\n" + (i == 2 ? "<td><a href=\"/w\">whois</a></td>\n" : "");
        page += "</tr>\n";
    }
    // Twelve header lines, three rows of eight and the line end the run adds; from the fifth
    // marker on every line but the links writes a cell line.
    QVERIFY(WriteFile(m_parser->pageFilePath(), page + "\r\n"));
    m_parser->ParsePage();
    QCOMPARE(trail.items,
             (QStringList{u"Parsing Data... 0-37/37"_s, u"Extracting Proxys... 0-22/22"_s,
                          u"Current Page Extraction Complete. 0/22"_s}));
    QStringList rows;
    for (int row = 0; row < m_table.count(); ++row) {
        const ProxyEntry& e = m_table.entry(row);
        rows.append(QStringList{e.ipAddress, e.port, e.type, e.country, e.lastTest}.join(u':'));
    }
    QCOMPARE(rows,
             (QStringList{u"1.1.1.1:80:HTTP:Italy:today"_s, u"2.2.2.2:80:HTTP:M\u00fcnchen:M\u00fcnchen"_s,
                          u"3.3.3.3:80:HTTP:Italy:"_s + QString::fromLatin1(huge)}));
    QCOMPARE(QDir(m_folder->path()).entryList(QDir::Files), QStringList{u"notes.txt"_s});
    QVERIFY(QFile::exists(neighbour.filePath(u"mine.tmp"_s)));

    // Without a page file the parse ends at the start of its first pass, keeping the maximum.
    trail = {};
    m_parser->ParsePage();
    QCOMPARE(trail.items, QStringList{u"Parsing Data... 0/22"_s});
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
