#include "HostPort.h"

#include <QTest>

using namespace Qt::StringLiterals;

class TstHostPort final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void parsesServerNames_data();
    void parsesServerNames();
};

void TstHostPort::parsesServerNames_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<QString>("authority");
    QTest::newRow("host") << u"proxylist.varnholt.example"_s << true << u"proxylist.varnholt.example"_s;
    QTest::newRow("host and port") << u"127.0.0.1:8080"_s << true << u"127.0.0.1:8080"_s;
    QTest::newRow("IPv6 with port") << u"[::1]:43"_s << true << u"[::1]:43"_s;
    QTest::newRow("IPv6 without port") << u"[::1]"_s << true << u"[::1]"_s;
    QTest::newRow("port 0") << u"host:0"_s << false << QString();
    QTest::newRow("port too large") << u"host:65536"_s << false << QString();
    QTest::newRow("port not a number") << u"host:http"_s << false << QString();
    QTest::newRow("empty port") << u"host:"_s << false << QString();
    QTest::newRow("empty") << QString() << false << QString();
    QTest::newRow("blank inside") << u"bad host"_s << false << QString();
    QTest::newRow("path") << u"host/path"_s << false << QString();
    QTest::newRow("user info") << u"user@host"_s << false << QString();
    QTest::newRow("bare IPv6") << u"::1"_s << false << QString();
    QTest::newRow("unclosed bracket") << u"[::1:43"_s << false << QString();
    QTest::newRow("bracketed name") << u"[host]:43"_s << false << QString();
    QTest::newRow("IPvFuture literal") << u"[v7.host]:43"_s << false << QString();
    QTest::newRow("empty label") << u"a..b"_s << false << QString();
    QTest::newRow("IPv6 with a scope") << u"[fe80::1%eth0]:43"_s << true << u"[fe80::1%eth0]:43"_s;
    QTest::newRow("NUL inside the brackets") << u"[::ffff\0@*]"_s << false << QString();
    QTest::newRow("path in the scope") << u"[fe80::1%a/b@c]"_s << false << QString();
    QTest::newRow("bracket inside the brackets") << u"[::%1]1]:3"_s << false << QString();
}

void TstHostPort::parsesServerNames()
{
    QFETCH(QString, text);
    QFETCH(bool, valid);
    QFETCH(QString, authority);
    const std::optional<HostPort> parsed = ParseHostPort(text);
    QCOMPARE(parsed.has_value(), valid);
    if (parsed)
        QCOMPARE(parsed->authority(), authority);
}

QTEST_GUILESS_MAIN(TstHostPort)
#include "tst_hostport.moc"
