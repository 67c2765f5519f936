#include "CliProcess.h"
#include "ClosedPort.h"
#include "FakeProxies.h"

#include <QRegularExpression>
#include <QTemporaryDir>

using namespace Qt::StringLiterals;

namespace {

using Kind = FakeProxy::Kind;

// A report's times vary from run to run; the rest of each line does not.
QByteArray WithoutTimes(QByteArray report)
{
    return QString::fromUtf8(report).remove(QRegularExpression(uR"(\t(-|\d+)\t\d+(?=\r\n))"_s)).toUtf8();
}

} // namespace

// varnholt-cli check run as a process, as a script runs it, against the test's own proxies.
class TstCliCheck final : public QObject
{
    Q_OBJECT

private slots:
    void printsTheLinesThatPass_data();
    void printsTheLinesThatPass();
    void unreadableListIsRefused();
    void ctrlCPrintsTheResultsSoFar();

private:
    QString writeList(const QByteArray& text);

    FakeJudge m_judge;
    FakeProxy m_http{Kind::HttpForwarding, u"127.0.0.2"_s, m_judge.serverPort()};
    FakeProxy m_socks{Kind::Socks5, u"127.0.0.3"_s, m_judge.serverPort()};
    FakeProxy m_garbage{Kind::Garbage, u"127.0.0.4"_s, m_judge.serverPort()};
    FakeProxy m_silent{Kind::Silent, u"127.0.0.5"_s, m_judge.serverPort()};
    QTemporaryDir m_folder;
};

QString TstCliCheck::writeList(const QByteArray& text)
{
    const QString path = m_folder.filePath(u"list.txt"_s);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size())
        return {};
    return path;
}

void TstCliCheck::printsTheLinesThatPass_data()
{
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<bool>("standardInput"); // or the list file named
    QTest::addColumn<QString>("passing"); // the proxies printed, by their names below
    QTest::addColumn<int>("exitCode");
    QTest::newRow("pipe: speaks") << QStringList{} << true << u"http socks"_s << 0;
    QTest::newRow("file: speaks") << QStringList{u"--jobs"_s, u"1"_s} << false << u"http socks"_s << 0;
    QTest::newRow("reachable") << QStringList{u"--require"_s, u"reachable"_s} << true << u"http socks garbage"_s << 0;
    QTest::newRow("judge") << QStringList{u"--judge"_s, u"JUDGE"_s, u"--expect"_s, u"works"_s} << true
                           << u"http socks"_s << 0;
    QTest::newRow("judge, text missing") << QStringList{u"--judge"_s, u"JUDGE"_s, u"--expect"_s, u"ad-free"_s} << true
                                         << QString() << 1;
    QTest::newRow("report") << QStringList{u"--report"_s} << true << u"report"_s << 0;
}

// The list mixes both formats and line ends; each passing line comes back exactly as it was.
void TstCliCheck::printsTheLinesThatPass()
{
    QFETCH(QStringList, options);
    QFETCH(bool, standardInput);
    QFETCH(QString, passing);
    QFETCH(int, exitCode);
    const QString closed = u"127.0.0.1:"_s + QString::number(ClosedLoopbackPort());
    const QMap<QString, QByteArray> lines{
        {u"http"_s, m_http.line().toUtf8() + '\n'},
        {u"socks"_s, m_socks.line(u"\t"_s).toUtf8() + "\tSOCKS5\tItaly\t2 min ago\r\n"},
        {u"garbage"_s, m_garbage.line(u" -> "_s).toUtf8() + "\r\n"},
    };
    const QString list =
        writeList(lines[u"http"_s] + closed.toUtf8() + "\r\nnot a proxy\r\n" + lines[u"socks"_s] + lines[u"garbage"_s]);
    options.replaceInStrings(u"JUDGE"_s, m_judge.url());

    const Finished cli = CliProcess(QStringList{u"check"_s, u"--quiet"_s} + options
                                        + (standardInput ? QStringList{} : QStringList{list}),
                                    [&](QProcess& process) {
                                        if (standardInput)
                                            process.setStandardInputFile(list);
                                    })
                             .finish();
    QByteArray expected;
    for (const QString& name : passing.split(u' ', Qt::SkipEmptyParts))
        expected += lines.value(name).trimmed() + "\r\n";
    if (passing == u"report"_s)
        expected = (m_http.line(u"\t"_s) + u"\tHTTP\tpass\tspeaks\r\n"_s + QString(closed).replace(u':', u'\t')
                    + u"\t-\tConnection refused\tnone\r\n"_s + m_socks.line(u"\t"_s) + u"\tSOCKS5\tpass\tspeaks\r\n"_s
                    + m_garbage.line(u"\t"_s) + u"\t-\tno proxy protocol answered\treachable\r\n"_s)
                       .toUtf8();
    QCOMPARE(WithoutTimes(cli.out), expected);
    QCOMPARE(cli.exitCode, exitCode);
    const QString source = standardInput ? u"(standard input)"_s : list;
    QVERIFY2(cli.err.startsWith(
                 u"varnholt-cli: %1:3: skipped: not an address, a separator and a port\n"_s.arg(source).toUtf8()),
             cli.err.constData());
}

void TstCliCheck::unreadableListIsRefused()
{
    const Finished cli = RunCli({u"check"_s, u"/nonexistent/list.txt"_s});
    QCOMPARE(cli.exitCode, 2);
    QCOMPARE(cli.err.split('\n').constFirst(),
             "varnholt-cli: cannot read /nonexistent/list.txt: No such file or directory");
    QVERIFY(cli.out.isEmpty());
}

// The proxy that never answers would hold the check for a minute; Ctrl+C ends it at once.
void TstCliCheck::ctrlCPrintsTheResultsSoFar()
{
    const QString list = writeList((m_http.line() + u'\n' + m_silent.line()).toUtf8());
    CliProcess cli({u"check"_s, u"--timeout"_s, u"60"_s, list});
    QVERIFY(CliProcess::waitFor(cli.out(), m_http.line().toUtf8()));
    cli.send(SIGINT);
    const Finished finished = cli.finish();
    QCOMPARE(finished.exitCode, 130);
    QCOMPARE(finished.out, (m_http.line() + u"\r\n"_s).toUtf8());
}

QTEST_GUILESS_MAIN(TstCliCheck)
#include "tst_clicheck.moc"
