#include "ListFileWriter.h"
#include "ProxyTable.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <sys/resource.h>

using namespace Qt::StringLiterals;

Q_DECLARE_METATYPE(ProxyEntry)

namespace {

const ProxyEntry First{u"10.0.0.1"_s, u"8080"_s, u"HTTP"_s, u"Italy"_s, u"2004-04-29 10:00"_s};
const ProxyEntry Second{u"10.0.0.2"_s, u"3128"_s, u"anonymous"_s, u"Japan"_s, u"yesterday"_s};
const ProxyEntry Third{u"192.168.1.20"_s, u"80"_s, u"HTTPS"_s, u"Brazil"_s, u"now"_s};

void Fill(ProxyTable& table, const QList<ProxyEntry>& rows)
{
    for (const ProxyEntry& row : rows)
        table.append(row);
}

QByteArray ReadAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

void WriteFile(const QString& path, QByteArrayView bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QCOMPARE(file.write(bytes.data(), bytes.size()), bytes.size());
}

// Lowers the largest file size this process may write, for as long as it lives. Past the limit
// a write fails with "File too large", a real failure half-way through a save.
class FileSizeLimit final
{
public:
    explicit FileSizeLimit(rlim_t bytes)
        : m_oldSignal(std::signal(SIGXFSZ, SIG_IGN))
    {
        getrlimit(RLIMIT_FSIZE, &m_old);
        rlimit lowered = m_old;
        lowered.rlim_cur = bytes;
        m_active = setrlimit(RLIMIT_FSIZE, &lowered) == 0;
    }
    ~FileSizeLimit()
    {
        setrlimit(RLIMIT_FSIZE, &m_old);
        std::signal(SIGXFSZ, m_oldSignal);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

    bool active() const { return m_active; }

private:
    rlimit m_old{};
    void (*m_oldSignal)(int);
    bool m_active = false;
};

} // namespace

class TstListFileWriter : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void writesOneLinePerRow_data();
    void writesOneLinePerRow();
    void appendsAfterEarlierContent();
    void refusedFileKeepsEverything_data();
    void refusedFileKeepsEverything();
    void fullDiskIsReported();
    void halfWrittenListIsCutBack();

private:
    QTemporaryDir m_dir;
};

void TstListFileWriter::writesOneLinePerRow_data()
{
    QTest::addColumn<QList<ProxyEntry>>("rows");
    QTest::addColumn<bool>("allData");
    QTest::addColumn<QString>("separator");
    QTest::addColumn<QByteArray>("expected");

    const QList<ProxyEntry> three{First, Second, Third};
    QTest::newRow("colon, in table order")
        << three << false << u":"_s << "10.0.0.1:8080\r\n10.0.0.2:3128\r\n192.168.1.20:80\r\n"_ba;
    QTest::newRow("empty separator") << QList{First} << false << QString() << "10.0.0.18080\r\n"_ba;
    QTest::newRow("all data, separator ignored")
        << QList{First, Second} << true << u" - "_s
        << "10.0.0.1\t8080\tHTTP\tItaly\t2004-04-29 10:00\r\n10.0.0.2\t3128\tanonymous\tJapan\tyesterday\r\n"_ba;
    QTest::newRow("empty field stays a field")
        << QList{ProxyEntry{u"10.0.0.3"_s, u"81"_s, QString(), u"Chile"_s, QString()}} << true << QString()
        << "10.0.0.3\t81\t\tChile\t\r\n"_ba;
    QTest::newRow("UTF-8 without a byte-order mark")
        << QList{ProxyEntry{u"10.0.0.4"_s, u"82"_s, u"HTTP"_s, u"Curaçao"_s, u"年"_s}} << true << QString()
        << "10.0.0.4\t82\tHTTP\tCura\xc3\xa7"
           "ao\t\xe5\xb9\xb4\r\n"_ba;
    QTest::newRow("empty table creates an empty file") << QList<ProxyEntry>{} << false << u":"_s << QByteArray();
}

void TstListFileWriter::writesOneLinePerRow()
{
    QFETCH(QList<ProxyEntry>, rows);
    QFETCH(bool, allData);
    QFETCH(QString, separator);
    QFETCH(QByteArray, expected);
    ProxyTable table;
    Fill(table, rows);
    const QString path = m_dir.filePath(QString::fromLatin1(QTest::currentDataTag()) + u".txt"_s);

    const ListFormat format{allData ? ListFormat::Layout::AllData : ListFormat::Layout::AddressAndPort, separator};
    const SaveResult saved = ListFileWriter(format).append(path, table);

    QVERIFY2(saved.ok, qPrintable(saved.error));
    QVERIFY(QFile::exists(path));
    QCOMPARE(ReadAll(path), expected);
}

void TstListFileWriter::appendsAfterEarlierContent()
{
    ProxyTable table;
    Fill(table, {First, Second});
    const QString path = m_dir.filePath(u"twice.txt"_s);
    WriteFile(path, "earlier line\r\n");
    const ListFileWriter writer({ListFormat::Layout::AddressAndPort, u":"_s});

    QVERIFY(writer.append(path, table).ok);
    QVERIFY(writer.append(path, table).ok);

    const QByteArray list = "10.0.0.1:8080\r\n10.0.0.2:3128\r\n";
    QCOMPARE(ReadAll(path), "earlier line\r\n" + list + list);
}

void TstListFileWriter::refusedFileKeepsEverything_data()
{
    QTest::addColumn<QString>("target");
    QTest::addColumn<QString>("reason");
    QTest::newRow("folder chosen as the file") << u"folder"_s << u"Is a directory"_s;
    QTest::newRow("parent is a regular file") << u"plain.txt/results.txt"_s << u"Not a directory"_s;
}

void TstListFileWriter::refusedFileKeepsEverything()
{
    QFETCH(QString, target);
    QFETCH(QString, reason);
    QTemporaryDir dir;
    QVERIFY(QDir(dir.path()).mkdir(u"folder"_s));
    WriteFile(dir.filePath(u"folder/inside.txt"_s), "inside\r\n");
    WriteFile(dir.filePath(u"plain.txt"_s), "earlier\r\n");
    ProxyTable table;
    Fill(table, {First});
    const QString path = dir.filePath(target);

    const SaveResult saved = ListFileWriter({ListFormat::Layout::AllData, {}}).append(path, table);

    QVERIFY(!saved.ok);
    QVERIFY2(saved.error.contains(u'"' + path + u'"'), qPrintable(saved.error));
    QVERIFY2(saved.error.contains(reason), qPrintable(saved.error));
    QCOMPARE(ReadAll(dir.filePath(u"folder/inside.txt"_s)), "inside\r\n"_ba);
    QCOMPARE(ReadAll(dir.filePath(u"plain.txt"_s)), "earlier\r\n"_ba);
}

void TstListFileWriter::fullDiskIsReported()
{
    const QString device = u"/dev/full"_s;
    if (!QFileInfo(device).isWritable())
        QSKIP("/dev/full is not there to be written");
    ProxyTable table;
    Fill(table, {First});
    // Opening a device for appending makes Qt try to seek to its end.
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(u"Cannot call seek on a sequential device"_s));

    const SaveResult saved = ListFileWriter({ListFormat::Layout::AddressAndPort, u":"_s}).append(device, table);

    QVERIFY(!saved.ok);
    QVERIFY2(saved.error.contains(device), qPrintable(saved.error));
    QVERIFY2(saved.error.contains(u"No space left on device"_s), qPrintable(saved.error));
}

void TstListFileWriter::halfWrittenListIsCutBack()
{
    ProxyTable table;
    for (int row = 0; row < 1000; ++row)
        table.append(First);
    const QString path = m_dir.filePath(u"cut-back.txt"_s);
    const QByteArray earlier = "earlier line\r\n";
    WriteFile(path, earlier);
    SaveResult saved;
    {
        const FileSizeLimit limit(static_cast<rlim_t>(earlier.size() + 100));
        if (!limit.active())
            QSKIP("the file size limit cannot be lowered here");
        saved = ListFileWriter({ListFormat::Layout::AllData, {}}).append(path, table);
    }

    QVERIFY(!saved.ok);
    QVERIFY2(saved.error.contains(u"File too large"_s), qPrintable(saved.error));
    QCOMPARE(ReadAll(path), earlier);
}

QTEST_GUILESS_MAIN(TstListFileWriter)
#include "tst_listfilewriter.moc"
