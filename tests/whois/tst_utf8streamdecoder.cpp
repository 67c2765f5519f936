#include "Utf8StreamDecoder.h"

#include <QTest>

using namespace Qt::StringLiterals;

class TstUtf8StreamDecoder final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void decodesChunkByChunk_data();
    void decodesChunkByChunk();
};

void TstUtf8StreamDecoder::decodesChunkByChunk_data()
{
    QTest::addColumn<QList<QByteArray>>("chunks");
    QTest::addColumn<QStringList>("pieces");
    QTest::addColumn<QString>("rest");

    QTest::newRow("ASCII as it is") << QList<QByteArray>{"NetRange:\t10.0.0.0\n"}
                                    << QStringList{u"NetRange:\t10.0.0.0\n"_s} << QString();
    QTest::newRow("two-byte character split")
        << QList<QByteArray>{"Caf\xC3", "\xA9 bar"} << QStringList{u"Caf"_s, u"é bar"_s} << QString();
    QTest::newRow("four-byte character over three chunks")
        << QList<QByteArray>{"a\xF0\x9F", "\x98", "\x80!"} << QStringList{u"a"_s, QString(), u"😀!"_s} << QString();
    QTest::newRow("character never completed is Latin-1 at the end")
        << QList<QByteArray>{"ab\xE2\x82"} << QStringList{u"ab"_s} << QString::fromLatin1("\xE2\x82");
    QTest::newRow("start of a character not continued") << QList<QByteArray>{"\xC3", "A"}
                                                        << QStringList{QString(),
                                                                       QString::fromLatin1("\xC3"
                                                                                           "A")}
                                                        << QString();
    QTest::newRow("single-byte encoding is Latin-1") << QList<QByteArray>{"Stra\xDF"
                                                                          "e M\xFC"
                                                                          "nchen"}
                                                     << QStringList{u"Straße München"_s} << QString();
    QTest::newRow("valid characters around an invalid byte")
        << QList<QByteArray>{"\xC3\xA9\xFF\xC3\xA9"} << QStringList{u"é\u00FFé"_s} << QString();
    QTest::newRow("overlong form is Latin-1")
        << QList<QByteArray>{"\xC0\xAF"} << QStringList{QString::fromLatin1("\xC0\xAF")} << QString();
    QTest::newRow("surrogate half is Latin-1")
        << QList<QByteArray>{"\xED\xA0\x80"} << QStringList{QString::fromLatin1("\xED\xA0\x80")} << QString();
    QTest::newRow("above the highest code point is Latin-1")
        << QList<QByteArray>{"\xF4\x90\x80\x80"} << QStringList{QString::fromLatin1("\xF4\x90\x80\x80")} << QString();
    QTest::newRow("highest code point is kept")
        << QList<QByteArray>{"\xF4\x8F", "\xBF\xBF"} << QStringList{QString(), u"\U0010FFFF"_s} << QString();
    QTest::newRow("NUL passes") << QList<QByteArray>{QByteArray("a\0b", 3)} << QStringList{u"a\0b"_s} << QString();
}

void TstUtf8StreamDecoder::decodesChunkByChunk()
{
    QFETCH(QList<QByteArray>, chunks);
    QFETCH(QStringList, pieces);
    QFETCH(QString, rest);

    Utf8StreamDecoder decoder;
    QStringList decoded;
    for (const QByteArray& chunk : chunks)
        decoded.append(decoder.decode(chunk));
    QCOMPARE(decoded, pieces);
    QCOMPARE(decoder.flush(), rest);
    QCOMPARE(decoder.flush(), QString());
}

QTEST_GUILESS_MAIN(TstUtf8StreamDecoder)
#include "tst_utf8streamdecoder.moc"
