#include "PlainText.h"
#include "TextFiles.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

class TstTextFiles final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void deletionTellsMissingFromFailed();
    void sweepDeletesEveryMatchAndNothingElse();
    void writerEndsLinesWithCrLf_data();
    void writerEndsLinesWithCrLf();
    void displayTextShowsControlCharacters();

private:
    static void touch(const QString& path, const QByteArray& content = {})
    {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(content);
    }
};

void TstTextFiles::deletionTellsMissingFromFailed()
{
    QTemporaryDir folder;
    const QString file = folder.filePath(u"temp.tmp"_s);
    touch(file);
    QCOMPARE(DeleteFile(file), FileStatus::Ok);
    QCOMPARE(DeleteFile(file), FileStatus::NotFound);
    // A folder in the file's place cannot be deleted as a file.
    QVERIFY(QDir(folder.path()).mkpath(u"busy.tmp/inside"_s));
    QCOMPARE(DeleteFile(folder.filePath(u"busy.tmp"_s)), FileStatus::Failed);
}

void TstTextFiles::sweepDeletesEveryMatchAndNothingElse()
{
    QTemporaryDir folder;
    QCOMPARE(DeleteMatching(folder.path(), u"*.tmp"_s), FileStatus::NotFound);
    for (const QString& name : {u"a.tmp"_s, u".hidden.tmp"_s, u"keep.txt"_s, u"b.tmp.txt"_s})
        touch(folder.filePath(name));
    QCOMPARE(DeleteMatching(folder.path(), u"*.tmp"_s), FileStatus::Ok);
    QCOMPARE(QDir(folder.path()).entryList(QDir::Files | QDir::Hidden, QDir::Name),
             (QStringList{u"b.tmp.txt"_s, u"keep.txt"_s}));
}

void TstTextFiles::writerEndsLinesWithCrLf_data()
{
    QTest::addColumn<LineWriter::Mode>("mode");
    QTest::addColumn<QByteArray>("expected");
    QTest::newRow("append keeps the old lines") << LineWriter::Mode::Append << QByteArray("old\r\none\r\n\r\n");
    QTest::newRow("truncate replaces them") << LineWriter::Mode::Truncate << QByteArray("one\r\n\r\n");
}

void TstTextFiles::writerEndsLinesWithCrLf()
{
    QFETCH(LineWriter::Mode, mode);
    QFETCH(QByteArray, expected);
    QTemporaryDir folder;
    const QString path = folder.filePath(u"cells.tmp"_s);
    touch(path, "old\r\n");
    LineWriter writer(path, mode);
    QCOMPARE(writer.open(), FileStatus::Ok);
    QVERIFY(writer.writeLine("one"));
    QVERIFY(writer.writeLine({}));
    QVERIFY(writer.close());
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), expected);
}

void TstTextFiles::displayTextShowsControlCharacters()
{
    QCOMPARE(DisplayText(u"a\u0000b\u001b\u007f"_s), u"a\u2400b\u241b\u2421"_s);
    QCOMPARE(DisplayText(u"line\r\nnext\tcolumn"_s), u"line\r\nnext\tcolumn"_s);
}

QTEST_GUILESS_MAIN(TstTextFiles)
#include "tst_textfiles.moc"
