#include "CountingYielder.h"
#include "PageParser.h"
#include "ProxyTable.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

const QByteArray Marker = "<tr align=\"center\">";

QByteArray HeaderRows(int count = 4)
{
    QByteArray header;
    for (int i = 0; i < count; ++i)
        header += Marker + "\n<th>Header</th>\n</tr>\n";
    return header;
}

// One proxy row in the site's layout: a marker line, one line a cell, a link cell among them.
QByteArray Row(const QByteArrayList& cells, const QByteArray& end = "\n")
{
    QByteArray row = Marker + end;
    for (qsizetype i = 0; i < cells.size(); ++i) {
        row += "<td>" + cells[i] + "</td>" + end;
        if (i == 2)
            row += "<td><a href=\"/whois\">whois</a></td>" + end;
    }
    return row + "</tr>" + end;
}

QByteArray Rows(int count)
{
    QByteArray rows;
    for (int i = 0; i < count; ++i)
        rows += Row({"10.0.0." + QByteArray::number(i), "80", "HTTP", "Italy", "today"});
    return rows;
}

QStringList EntryTexts(const ProxyTable& table)
{
    QStringList texts;
    for (int row = 0; row < table.count(); ++row) {
        const ProxyEntry& entry = table.entry(row);
        texts.append(entry.ipAddress + u':' + entry.port + u':' + entry.type + u':' + entry.country + u':'
                     + entry.lastTest + u':');
    }
    return texts;
}

} // namespace

class TstPageParser final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cellText_data();
    void cellText();
    void rowMarker_data();
    void rowMarker();
    void groupsCellsInFives_data();
    void groupsCellsInFives();
    void barsAndCounterFollowThePage();
    void sweepIsConfinedToTheWorkFolder();
    void leftoverCellFileIsReplaced();
    void missingPageFileAddsNothing();
    void survivesHugeAndBinaryLines_data();
    void survivesHugeAndBinaryLines();
    void countLinesFollowsTheLineEnds_data();
    void countLinesFollowsTheLineEnds();

private:
    void parse(const QByteArray& page);

    // What the parser told: the captions of its stages in order, where its progress stands,
    // and the row count of its last entry.
    struct Told
    {
        QStringList captions;
        int value = 0;
        int maximum = 0;
        QString received;
    };

    std::unique_ptr<QTemporaryDir> m_folder;
    Told m_told;
    ProxyTable m_table;
    CountingYielder m_yielder;
    std::unique_ptr<PageParser> m_parser;
};

void TstPageParser::init()
{
    m_folder = std::make_unique<QTemporaryDir>();
    QVERIFY(m_folder->isValid());
    m_told = {};
    m_table.clear();
    m_parser = std::make_unique<PageParser>(m_table, m_yielder, m_folder->path());
    connect(m_parser.get(), &PageParser::progressed, this, [this](ParseStage stage, int value, int maximum) {
        if (m_told.captions.isEmpty() || m_told.captions.last() != StageCaption(stage))
            m_told.captions.append(StageCaption(stage));
        m_told.value = value;
        m_told.maximum = maximum;
    });
    connect(m_parser.get(), &PageParser::entryAppended, this,
            [this](int rowCount) { m_told.received = QString::number(rowCount); });
}

void TstPageParser::parse(const QByteArray& page)
{
    QFile file(m_parser->pageFilePath());
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(page + "\r\n"); // the run ends the page with a line break
    file.close();
    m_parser->ParsePage();
}

void TstPageParser::cellText_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<QByteArray>("cell");
    QTest::newRow("spaces trimmed") << QByteArray("<td>  1.2.3.4  </td>") << QByteArray("1.2.3.4");
    QTest::newRow("indented line") << QByteArray("    <td>80</td>") << QByteArray("80");
    QTest::newRow("first of two cells") << QByteArray("<td>a</td><td>b</td>") << QByteArray("a");
    QTest::newRow("every close tag removed") << QByteArray("<td>a</td>b</td>") << QByteArray("ab");
    QTest::newRow("capital tag is no cell") << QByteArray("<TD>a</TD>") << QByteArray();
    QTest::newRow("no cell") << QByteArray("<tr align=\"center\">") << QByteArray();
    QTest::newRow("empty cell") << QByteArray("<td></td>") << QByteArray();
    QTest::newRow("only spaces trimmed, tabs kept") << QByteArray("<td>\ta </td>") << QByteArray("\ta");
    QTest::newRow("markup inside kept") << QByteArray("<td><b>x</b></td>") << QByteArray("<b>x</b>");
}

void TstPageParser::cellText()
{
    QFETCH(QByteArray, line);
    QFETCH(QByteArray, cell);
    QCOMPARE(CellText(line), cell);
}

void TstPageParser::rowMarker_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<bool>("marker");
    QTest::newRow("exact") << Marker << true;
    QTest::newRow("spaces around") << "   " + Marker + "  " << true;
    QTest::newRow("tab before") << "\t" + Marker << false;
    QTest::newRow("other case") << QByteArray("<TR align=\"center\">") << false;
    QTest::newRow("other attributes") << QByteArray("<tr align=\"center\" class=\"odd\">") << false;
    QTest::newRow("text after") << Marker + "<td>1.2.3.4</td>" << false;
}

void TstPageParser::rowMarker()
{
    QFETCH(QByteArray, line);
    QFETCH(bool, marker);
    QCOMPARE(IsRowMarker(line), marker);
}

void TstPageParser::groupsCellsInFives_data()
{
    QTest::addColumn<QByteArray>("page");
    QTest::addColumn<QStringList>("entries");

    const QStringList one{u"1.2.3.4:80:HTTP:Italy:today:"_s};
    const QByteArray row = Row({"1.2.3.4", "80", "HTTP", "Italy", "today"});
    QTest::newRow("link cell skipped") << HeaderRows() + row << one;
    QTest::newRow("four markers give nothing") << HeaderRows(3) + row << QStringList();
    QTest::newRow("CR LF line ends") << HeaderRows() + Row({"1.2.3.4", "80", "HTTP", "Italy", "today"}, "\r\n") << one;
    QTest::newRow("lone CR line ends") << HeaderRows() + Row({"1.2.3.4", "80", "HTTP", "Italy", "today"}, "\r") << one;
    QTest::newRow("capital link tag becomes a field") << HeaderRows() + Marker
            + "\n<td>1.2.3.4</td>\n<td><A href=x>w</A></td>\n<td>80</td>\n<td>HTTP</td>\n<td>Italy</td>\n"
                                                      << QStringList{u"1.2.3.4:<A href=x>w</A>:80:HTTP:Italy:"_s};
    QTest::newRow("empty cell shifts, last group dropped") << HeaderRows()
            + Row({"1.1.1.1", "", "HTTP", "Italy", "today"}) + Row({"2.2.2.2", "81", "SOCKS", "Spain", "now"})
                                                           << QStringList{u"1.1.1.1:HTTP:Italy:today:2.2.2.2:"_s};
    QTest::newRow("colon in last test cuts it") << HeaderRows() + Row({"1.2.3.4", "80", "HTTP", "Italy", "12:30"})
                                                << QStringList{u"1.2.3.4:80:HTTP:Italy:12:"_s};
    QTest::newRow("colon in country moves the fields on")
        << HeaderRows() + Row({"1.2.3.4", "80", "HTTP", "Korea: South", "today"})
        << QStringList{u"1.2.3.4:80:HTTP:Korea: South:"_s};
    QTest::newRow("tab-indented marker is not counted") << HeaderRows(3) + "\t" + Marker + "\n" + row + row << one;
    QTest::newRow("cells after the last row are captured")
        << HeaderRows() + row + "<td>a</td>\n<td>b</td>\n<td>c</td>\n<td>d</td>\n<td>e</td>\n"
        << QStringList{one.first(), u"a:b:c:d:e:"_s};
    QTest::newRow("markup shown as typed") << HeaderRows() + Row({"<b>x</b>", "<img src=y>", "HTTP", "Italy", "today"})
                                           << QStringList{u"<b>x</b>:<img src=y>:HTTP:Italy:today:"_s};
    QTest::newRow("Latin-1 page") << HeaderRows() + Row({"1.2.3.4", "80", "HTTP", "M\xfcnchen", "today"})
                                  << QStringList{u"1.2.3.4:80:HTTP:M\u00fcnchen:today:"_s};
    QTest::newRow("UTF-8 page") << HeaderRows() + Row({"1.2.3.4", "80", "HTTP", "M\xc3\xbcnchen", "today"})
                                << QStringList{u"1.2.3.4:80:HTTP:M\u00fcnchen:today:"_s};

    QStringList hundred;
    for (int i = 0; i < 100; ++i)
        hundred.append(u"10.0.0.%1:80:HTTP:Italy:today:"_s.arg(i));
    QTest::newRow("120 rows give the first 100") << HeaderRows() + Rows(120) << hundred;
}

void TstPageParser::groupsCellsInFives()
{
    QFETCH(QByteArray, page);
    QFETCH(QStringList, entries);
    parse(page);
    QCOMPARE(EntryTexts(m_table), entries);
}

// The counter shows the table's total, not the page's share, and is left alone by a page
// without rows.
void TstPageParser::barsAndCounterFollowThePage()
{
    m_table.append({u"9.9.9.9"_s, u"1"_s, u"HTTP"_s, u"Italy"_s, u"today"_s});
    parse(HeaderRows() + Rows(3));
    QCOMPARE(m_told.captions,
             (QStringList{u"Parsing Data..."_s, u"Extracting Proxys..."_s, u"Current Page Extraction Complete."_s}));
    QCOMPARE(m_told.value, 0);
    // Three rows of five cells, one link and two tag lines each: from the fifth marker on,
    // every line but the links writes one cell line.
    QCOMPARE(m_told.maximum, 3 * 7 + 1);
    QCOMPARE(m_told.received, u"4"_s);
    QVERIFY(m_yielder.yields >= 3);

    m_told.received = u"unchanged"_s;
    parse(HeaderRows());
    QCOMPARE(m_told.received, u"unchanged"_s);
}

void TstPageParser::sweepIsConfinedToTheWorkFolder()
{
    QTemporaryDir neighbour;
    const QString outside = neighbour.filePath(u"mine.tmp"_s);
    const QString inside = m_folder->filePath(u"other.tmp"_s);
    const QString kept = m_folder->filePath(u"notes.txt"_s);
    for (const QString& path : {outside, inside, kept}) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
    }
    parse(HeaderRows() + Rows(1));
    QVERIFY(QFile::exists(outside));
    QVERIFY(QFile::exists(kept));
    QVERIFY(!QFile::exists(inside));
    QVERIFY(!QFile::exists(m_parser->pageFilePath()));
    QVERIFY(!QFile::exists(m_parser->cellFilePath()));
}

void TstPageParser::leftoverCellFileIsReplaced()
{
    QFile leftover(m_parser->cellFilePath());
    QVERIFY(leftover.open(QIODevice::WriteOnly));
    leftover.write("<stale>\r\nA\r\nB\r\n");
    leftover.close();
    parse(HeaderRows() + Rows(1));
    QCOMPARE(EntryTexts(m_table), QStringList{u"10.0.0.0:80:HTTP:Italy:today:"_s});
}

void TstPageParser::missingPageFileAddsNothing()
{
    m_parser->ParsePage();
    QCOMPARE(m_table.count(), 0);
    // The parse ends at the start of its first pass.
    QCOMPARE(m_told.captions, QStringList{u"Parsing Data..."_s});
}

void TstPageParser::survivesHugeAndBinaryLines_data()
{
    QTest::addColumn<QByteArray>("page");
    QTest::addColumn<QStringList>("entries");
    const QByteArray huge(10 * 1024 * 1024, 'x');
    QTest::newRow("10 MB cell") << HeaderRows() + Row({"1.2.3.4", "80", "HTTP", "Italy", huge})
                                << QStringList{u"1.2.3.4:80:HTTP:Italy:"_s + QString::fromLatin1(huge) + u':'};
    QTest::newRow("NUL bytes kept") << HeaderRows() + Row({QByteArray("1.2\0.3", 6), "80", "HTTP", "It\x01", "today"})
                                    << QStringList{u"1.2\u0000.3:80:HTTP:It\u0001:today:"_s};
}

void TstPageParser::survivesHugeAndBinaryLines()
{
    QFETCH(QByteArray, page);
    QFETCH(QStringList, entries);
    parse(page);
    QCOMPARE(EntryTexts(m_table), entries);
    QCOMPARE(m_told.captions.last(), u"Current Page Extraction Complete."_s);
}

void TstPageParser::countLinesFollowsTheLineEnds_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<int>("lines");
    QTest::newRow("empty") << QByteArray() << 0;
    QTest::newRow("one line end") << QByteArray("\r\n") << 1;
    QTest::newRow("last line without end") << QByteArray("a\r\nb") << 2;
    QTest::newRow("end at the end adds no line") << QByteArray("a\r\nb\r\n") << 2;
    QTest::newRow("lone CR and lone LF") << QByteArray("a\rb\nc") << 3;
    QTest::newRow("CR CR LF") << QByteArray("a\r\r\n") << 2;
    QTest::newRow("LF CR") << QByteArray("a\n\rb") << 3;
    // The reader takes the file in chunks of 256 KiB; a CR LF split between two stays one end.
    QTest::newRow("CR LF across a chunk") << QByteArray(256 * 1024 - 1, 'a') + "\r\nb" << 2;
}

void TstPageParser::countLinesFollowsTheLineEnds()
{
    QFETCH(QByteArray, content);
    QFETCH(int, lines);
    const QString path = m_folder->filePath(u"count.txt"_s);
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(content);
    file.close();
    const LineCount counted = m_parser->CountLines(path);
    QCOMPARE(counted.status, FileStatus::Ok);
    QCOMPARE(counted.lines, lines);
    QCOMPARE(m_parser->CountLines(m_folder->filePath(u"absent.txt"_s)).status, FileStatus::NotFound);
}

QTEST_GUILESS_MAIN(TstPageParser)
#include "tst_pageparser.moc"
