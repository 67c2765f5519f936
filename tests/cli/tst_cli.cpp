#include "CliProcess.h"
#include "ClosedPort.h"
#include "DemoListSite.h"
#include "FakeWhoisServer.h"
#include "NetworkNamespace.h"
#include "PlainText.h"
#include "ScriptedHttpServer.h"
#include "UniqueFd.h"
#include "WhoisSession.h"

#include <QFile>
#include <QPointer>
#include <QProcess>
#include <QRegularExpression>
#include <QSocketNotifier>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

#include <fcntl.h>
#include <pty.h>
#include <sys/syscall.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

// The list the demo site's first pages make, read plainly from their HTML: each row's cells
// but its link, joined as the save window joins them (a tab between all five, or the
// separator between address and port).
QByteArray ExpectedList(int pages, const QString& separator, bool allData = false)
{
    static const QRegularExpression cell(u"<td>([^<][^\n]*)</td>"_s);
    const DemoListSite site(DemoListSite::Options{});
    QByteArray list;
    for (int page = 0; page < pages; ++page) {
        const QList<QByteArray> rows = site.page(page * 100).split('\n');
        QStringList fields;
        for (const QByteArray& line : rows) {
            const QRegularExpressionMatch match = cell.match(QString::fromUtf8(line));
            if (match.hasMatch())
                fields.append(match.captured(1));
            if (fields.size() < 5)
                continue;
            list += (allData ? fields.join(u'\t') : fields[0] + separator + fields[1]).toUtf8() + "\r\n";
            fields.clear();
        }
    }
    return list;
}

QString Authority(quint16 port)
{
    return u"127.0.0.1:"_s + QString::number(port);
}

int OffsetOf(const QByteArray& target)
{
    return target.mid(target.lastIndexOf('=') + 1).toInt();
}

QByteArray Warning(int page, int offset)
{
    return u"varnholt-cli: page %1 (offset %2): no proxy rows found — the page layout may have changed\n"_s.arg(page)
        .arg(offset)
        .toUtf8();
}

// What is left on a terminal's screen once every line has been redrawn: the text after the
// last clearing of each line.
QStringList ScreenLines(const QByteArray& written)
{
    const QString clear = u"\x1b[K"_s;
    QStringList lines;
    for (const QString& line : QString::fromUtf8(written).split(u'\n', Qt::SkipEmptyParts)) {
        const qsizetype cleared = line.lastIndexOf(clear);
        QString shown = cleared < 0 ? line : line.mid(cleared + clear.size());
        lines.append(shown.remove(u'\r'));
    }
    return lines;
}

// Answers the one query that comes, and returns the query.
QByteArray AnswerWhois(FakeWhoisServer& server, const QByteArray& answer)
{
    QTcpSocket* peer = server.waitForPeer();
    if (!peer || !QTest::qWaitFor([&server, peer] { return server.received(peer).endsWith("\r\n"); }))
        return {};
    peer->write(answer);
    peer->disconnectFromHost();
    return server.received(peer);
}

// A pseudo-terminal for the program's standard error: the test reads what a user would see.
class Terminal final
{
public:
    Terminal()
    {
        if (openpty(&m_master, &m_slave, nullptr, nullptr, nullptr) != 0
            || fcntl(m_master, F_SETFL, fcntl(m_master, F_GETFL) | O_NONBLOCK) != 0)
            return;
        m_reader = std::make_unique<QSocketNotifier>(m_master, QSocketNotifier::Read);
        QObject::connect(m_reader.get(), &QSocketNotifier::activated, m_reader.get(), [this] { read(); });
    }

    ~Terminal()
    {
        m_reader.reset();
        closeSlave();
        if (m_master >= 0)
            close(m_master);
    }

    bool isOpen() const { return m_reader != nullptr; }
    int slave() const { return m_slave; }

    // Once the program has it, the test's copy would keep the terminal open after the end.
    void closeSlave()
    {
        if (m_slave >= 0)
            close(m_slave);
        m_slave = -1;
    }

    QByteArray written()
    {
        read();
        return m_written;
    }

private:
    void read()
    {
        char bytes[4096];
        ssize_t got = 0;
        while ((got = ::read(m_master, bytes, sizeof bytes)) > 0)
            m_written.append(bytes, got);
        // The terminal reports an error once nobody holds its other end.
        if (got < 0 && errno == EIO && m_reader)
            m_reader->setEnabled(false);
    }

    int m_master = -1;
    int m_slave = -1;
    std::unique_ptr<QSocketNotifier> m_reader;
    QByteArray m_written;
};

} // namespace

class TstCli final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void harvestWritesTheSaveWindowsList_data();
    void harvestWritesTheSaveWindowsList();
    void pageCountFollowsTheWindowsRules_data();
    void pageCountFollowsTheWindowsRules();
    void unreachableSiteIsANetworkFailure();
    void failedPageKeepsTheRowsBeforeIt();
    void pageWithoutRowsIsReported_data();
    void pageWithoutRowsIsReported();
    void stopSignalsStopTheHarvest_data();
    void stopSignalsStopTheHarvest();
    void terminalShowsABarPerPage();
    void whoisPrintsTheWindowsTranscript();
    void whoisServerThatCannotBeReached();
    void ctrlCEndsAWhois();
    void pingTellsTheVerdict_data();
    void pingTellsTheVerdict();
    void pingRaisesItsCapabilityOnlyToOpenARawSocket();

private:
    QString siteAuthority() const { return Authority(m_site->serverPort()); }

    std::unique_ptr<DemoListSite> m_site;
    std::unique_ptr<QTemporaryDir> m_folder;
};

void TstCli::init()
{
    m_site = std::make_unique<DemoListSite>(DemoListSite::Options{});
    QVERIFY(m_site->listen());
    m_folder = std::make_unique<QTemporaryDir>();
    QVERIFY(m_folder->isValid());
}

void TstCli::harvestWritesTheSaveWindowsList_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("separator");
    QTest::addColumn<bool>("allData");
    QTest::addColumn<bool>("toFile");
    QTest::newRow("address and port") << QStringList{} << u":"_s << false << false;
    QTest::newRow("separator as typed") << QStringList{u"--separator"_s, u" - "_s} << u" - "_s << false << false;
    QTest::newRow("empty separator") << QStringList{u"--separator="_s} << QString() << false << false;
    QTest::newRow("all data") << QStringList{u"--format"_s, u"all"_s} << QString() << true << false;
    QTest::newRow("appended to a file") << QStringList{u"--format"_s, u"all"_s} << QString() << true << true;
}

void TstCli::harvestWritesTheSaveWindowsList()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, separator);
    QFETCH(bool, allData);
    QFETCH(bool, toFile);
    const QByteArray earlier = "an earlier list\r\n";
    const QString file = m_folder->filePath(u"results.txt"_s);
    if (toFile) {
        QFile list(file);
        QVERIFY(list.open(QIODevice::WriteOnly) && list.write(earlier) == earlier.size());
        arguments += {u"-o"_s, file};
    }

    const Finished cli =
        RunCli(QStringList{u"harvest"_s, u"--pages"_s, u"3"_s, u"--site"_s, siteAuthority()} + arguments);

    QCOMPARE(cli.exitCode, 0);
    QFile list(file);
    QCOMPARE(toFile && list.open(QIODevice::ReadOnly) ? list.readAll() : cli.out,
             (toFile ? earlier : QByteArray()) + ExpectedList(3, separator, allData));
    QVERIFY2(cli.err.contains("Retrieving Page 3/3... 300 rows so far\n"), cli.err.constData());
    QVERIFY2(cli.err.endsWith("Extraction Completed. 300 rows\n"), cli.err.constData());
}

void TstCli::pageCountFollowsTheWindowsRules_data()
{
    QTest::addColumn<QStringList>("pagesOption");
    QTest::addColumn<int>("pages");
    QTest::addColumn<QString>("captionCount"); // the count the captions name
    QTest::newRow("none given: 20") << QStringList{} << 20 << u"20"_s;
    QTest::newRow("zero raised to one") << QStringList{u"--pages"_s, u"0"_s} << 1 << u"1"_s;
    QTest::newRow("fraction kept as typed") << QStringList{u"--pages"_s, u"2.5"_s} << 2 << u"2.5"_s;
}

void TstCli::pageCountFollowsTheWindowsRules()
{
    QFETCH(QStringList, pagesOption);
    QFETCH(int, pages);
    QFETCH(QString, captionCount);

    const Finished cli = RunCli(QStringList{u"harvest"_s, u"--site"_s, siteAuthority()} + pagesOption);

    QCOMPARE(cli.exitCode, 0);
    QCOMPARE(m_site->targetsRequested().size(), pages);
    QCOMPARE(OffsetOf(m_site->targetsRequested().last()), (pages - 1) * 100);
    QCOMPARE(cli.out.count("\r\n"), pages * 100);
    const QByteArray lastCaption = u"Retrieving Page %1/%2... "_s.arg(QString::number(pages), captionCount).toUtf8();
    QVERIFY2(cli.err.contains(lastCaption), cli.err.constData());
}

void TstCli::unreachableSiteIsANetworkFailure()
{
    const quint16 port = ClosedLoopbackPort();
    const Finished cli = RunCli({u"harvest"_s, u"--site"_s, Authority(port)});

    QCOMPARE(cli.exitCode, 3);
    QVERIFY(cli.out.isEmpty());
    const QByteArray reason = "varnholt-cli: cannot fetch page 1 (http://127.0.0.1:" + QByteArray::number(port)
        + "/index.pl/proxy_list?order=&offset=0): Connection refused\n";
    QVERIFY2(cli.err.endsWith(reason), cli.err.constData());
}

void TstCli::failedPageKeepsTheRowsBeforeIt()
{
    const DemoListSite& site = *m_site;
    ScriptedHttpServer server([&site](QTcpSocket& socket, const QByteArray& target) {
        if (OffsetOf(target) == 0)
            return ScriptedHttpServer::answer(socket, "200 OK", site.page(0));
        socket.write(ScriptedHttpServer::response("200 OK", site.page(100)).left(300));
        socket.disconnectFromHost();
    });

    const Finished cli = RunCli({u"harvest"_s, u"--site"_s, server.authority()});

    QCOMPARE(cli.exitCode, 3);
    QCOMPARE(server.targets().size(), 2);
    QCOMPARE(cli.out, ExpectedList(1, u":"_s));
    QVERIFY2(cli.err.contains("varnholt-cli: cannot fetch page 2 ("), cli.err.constData());
}

void TstCli::pageWithoutRowsIsReported_data()
{
    QTest::addColumn<int>("pagesWithRows");
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QByteArrayList>("warnings");
    QTest::addColumn<int>("rows");
    QTest::newRow("the third of three pages")
        << 2 << QStringList{u"--pages=3"_s} << 0 << QByteArrayList{Warning(3, 200)} << 200;
    QTest::newRow("quiet still warns") << 2 << QStringList{u"--pages=3"_s, u"--quiet"_s} << 0
                                       << QByteArrayList{Warning(3, 200)} << 200;
    QTest::newRow("no page has rows") << 0 << QStringList{u"--pages=2"_s, u"-q"_s} << 1
                                      << QByteArrayList{Warning(1, 0), Warning(2, 100),
                                                        "varnholt-cli: no proxy rows found on any page\n"}
                                      << 0;
}

void TstCli::pageWithoutRowsIsReported()
{
    QFETCH(int, pagesWithRows);
    QFETCH(QStringList, options);
    QFETCH(int, exitCode);
    QFETCH(QByteArrayList, warnings);
    QFETCH(int, rows);
    DemoListSite site({.pagesWithRows = pagesWithRows});
    QVERIFY(site.listen());
    const QString list = m_folder->filePath(u"list.txt"_s);

    const Finished cli =
        RunCli(QStringList{u"harvest"_s, u"--site"_s, Authority(site.serverPort()), u"-o"_s, list} + options);

    QCOMPARE(cli.exitCode, exitCode);
    for (const QByteArray& warning : warnings)
        QVERIFY2(cli.err.contains(warning), cli.err.constData());
    if (options.contains(u"-q"_s) || options.contains(u"--quiet"_s))
        QCOMPARE(cli.err, warnings.join());
    QFile file(list);
    QCOMPARE(file.exists(), rows > 0); // no rows: the file is not even made
    if (rows > 0) {
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll().count("\r\n"), rows);
    }
}

void TstCli::stopSignalsStopTheHarvest_data()
{
    QTest::addColumn<QList<int>>("sent");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("pagesKept"); // none: nothing written
    QTest::addColumn<QByteArray>("lastWords");
    const QByteArray kept = "Stopped. 200 rows\n";
    const QByteArray atOnce = "varnholt-cli: stopped at once; nothing was written\n";
    QTest::newRow("Ctrl+C: the page in progress is kept") << QList<int>{SIGINT} << 130 << u"2"_s << kept;
    QTest::newRow("SIGTERM: the page in progress is kept") << QList<int>{SIGTERM} << 143 << u"2"_s << kept;
    QTest::newRow("Ctrl+C twice: stops at once") << QList<int>{SIGINT, SIGINT} << 130 << QString() << atOnce;
    QTest::newRow("SIGHUP, SIGTERM: stops at once") << QList<int>{SIGHUP, SIGTERM} << 129 << QString() << atOnce;
}

void TstCli::stopSignalsStopTheHarvest()
{
    QFETCH(QList<int>, sent);
    QFETCH(int, exitCode);
    QFETCH(QString, pagesKept);
    QFETCH(QByteArray, lastWords);
    const DemoListSite& site = *m_site;
    QPointer<QTcpSocket> secondPage;
    ScriptedHttpServer server([&site, &secondPage](QTcpSocket& socket, const QByteArray& target) {
        if (OffsetOf(target) == 100)
            secondPage = &socket; // held until the program has heard the signal
        else
            ScriptedHttpServer::answer(socket, "200 OK", site.page(OffsetOf(target)));
    });
    const QString temp = m_folder->path();
    CliProcess cli({u"harvest"_s, u"--site"_s, server.authority()}, [&temp](QProcess& process) {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(u"TMPDIR"_s, temp);
        process.setProcessEnvironment(environment);
    });
    const auto workFolders = [&temp] { return QDir(temp).entryList({u"varnholt-*"_s}, QDir::Dirs).size(); };

    QVERIFY(QTest::qWaitFor([&secondPage] { return secondPage != nullptr; }, LongWait));
    QCOMPARE(workFolders(), 1);
    cli.send(sent.first());
    QVERIFY2(cli.waitFor(cli.err(), "stopping after the page in progress"), cli.err().constData());
    if (sent.size() > 1)
        cli.send(sent.last()); // and the second page is never answered
    else
        ScriptedHttpServer::answer(*secondPage, "200 OK", site.page(100));
    const Finished finished = cli.finish();

    QCOMPARE(finished.exitCode, exitCode);
    QCOMPARE(server.targets().size(), 2);
    const QByteArray kept = pagesKept.isEmpty() ? QByteArray() : ExpectedList(pagesKept.toInt(), u":"_s);
    QCOMPARE(finished.out, kept);
    QVERIFY2(finished.err.endsWith(lastWords), finished.err.constData());
    QCOMPARE(workFolders(), 0);
}

void TstCli::terminalShowsABarPerPage()
{
    Terminal terminal;
    if (!terminal.isOpen())
        QSKIP("no pseudo-terminal can be opened here");
    DemoListSite site({.pagesWithRows = 2});
    QVERIFY(site.listen());
    const int slave = terminal.slave();
    CliProcess cli(
        {u"harvest"_s, u"--pages=3"_s, u"--site"_s, Authority(site.serverPort())},
        [slave](QProcess& process) { process.setChildProcessModifier([slave] { dup2(slave, STDERR_FILENO); }); });
    terminal.closeSlave();
    const Finished finished = cli.finish();

    QCOMPARE(finished.exitCode, 0);
    QCOMPARE(finished.out.count("\r\n"), 200);
    const QByteArray written = terminal.written();
    QVERIFY2(written.contains("\r\x1b[KRetrieving Page 1/3... [#"), written.constData());
    const QStringList expected{
        u"Retrieving Page 1/3... [####################] 100 rows"_s,
        u"Retrieving Page 2/3... [####################] 200 rows"_s,
        u"Retrieving Page 3/3... [####################] 200 rows"_s,
        u"varnholt-cli: page 3 (offset 200): no proxy rows found — the page layout may have changed"_s,
        u"Extraction Completed. 200 rows"_s,
    };
    QCOMPARE(ScreenLines(written), expected);
}

void TstCli::whoisPrintsTheWindowsTranscript()
{
    // Lines ended by LF and by CR LF, a character of two bytes, and a terminal escape sequence
    // that must not reach the terminal as one.
    const QByteArray answer = "NetRange: 127.0.0.0 - 127.255.255.255\nOrgName: Caf\xC3\xA9 Loopback\r\n"
                              "Comment: \x1b[2J\x1b[31mcleared\x1b[0m\n";
    FakeWhoisServer server;
    QVERIFY(server.isListening());
    CliProcess cli({u"whois"_s, u"127.0.0.1"_s, u"--whois-server"_s, server.address().authority()});
    QCOMPARE(AnswerWhois(server, answer), QByteArray("127.0.0.1\r\n"));
    const Finished finished = cli.finish();

    FakeWhoisServer windowsServer;
    WhoisSession window(windowsServer.address(), [] { return std::optional<QString>(u"127.0.0.1"_s); });
    window.start();
    QCOMPARE(AnswerWhois(windowsServer, answer), QByteArray("127.0.0.1\r\n"));
    QVERIFY(QTest::qWaitFor([&window] { return window.state() == WhoisSession::State::Ended; }));

    QCOMPARE(finished.exitCode, 0);
    QVERIFY(finished.err.isEmpty());
    QCOMPARE(QString::fromUtf8(finished.out), DisplayText(window.transcript()));
    QVERIFY(!finished.out.contains('\x1b'));
}

void TstCli::whoisServerThatCannotBeReached()
{
    const quint16 port = ClosedLoopbackPort();
    const Finished cli = RunCli({u"whois"_s, u"127.0.0.1"_s, u"--whois-server"_s, Authority(port)});

    QCOMPARE(cli.exitCode, 3);
    QCOMPARE(cli.out, QByteArray("*** Cannot connect to whois server."));
    QCOMPARE(cli.err,
             "varnholt-cli: the whois server 127.0.0.1:" + QByteArray::number(port)
                 + " cannot be reached, or broke the connection off\n");
}

void TstCli::ctrlCEndsAWhois()
{
    FakeWhoisServer server;
    CliProcess cli({u"whois"_s, u"127.0.0.1"_s, u"--whois-server"_s, server.address().authority()});
    QVERIFY(server.waitForPeer());
    QVERIFY2(cli.waitFor(cli.out(), "*** Whoising 127.0.0.1...\r\n"), cli.out().constData());
    cli.send(SIGINT);
    const Finished finished = cli.finish();

    QCOMPARE(finished.exitCode, 130);
    QCOMPARE(finished.out, QByteArray("*** Whoising 127.0.0.1...\r\n"));
}

void TstCli::pingTellsTheVerdict_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<bool>("withoutNetwork"); // in a network namespace of its own, loopback down
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("verdict");
    QTest::newRow("loopback is alive")
        << u"127.0.0.1"_s << false << 0
        << u"\\AThe IP 127\\.0\\.0\\.1 Is Alive\\.\nDelay: \\d+ ms\\.\nStatus: Success\n\\z"_s;
    QTest::newRow("no address: dead, nothing sent")
        << u"not-an-address"_s << false << 1
        << u"\\AThe IP not-an-address Is Dead\\.\nDelay: 0 ms\\.\nStatus: Bad Destination\n\\z"_s;
    QTest::newRow("loopback without a network is dead")
        << u"127.0.0.1"_s << true << 1 << u"\\AThe IP 127\\.0\\.0\\.1 Is Dead\\.\nDelay: \\d+ ms\\.\nStatus: .+\n\\z"_s;
}

void TstCli::pingTellsTheVerdict()
{
    QFETCH(QString, address);
    QFETCH(bool, withoutNetwork);
    QFETCH(int, exitCode);
    QFETCH(QString, verdict);
    if (withoutNetwork) {
        const NetworkNamespace::Finished probe = NetworkNamespace::RunUnshared({u"true"_s});
        if (!probe.ran || probe.exitCode != 0)
            QSKIP(qPrintable(u"no network namespace can be made here: "_s + probe.output));
    }

    QProcess ping;
    if (withoutNetwork)
        ping.start(u"unshare"_s, {u"--net"_s, QStringLiteral(VARNHOLT_CLI_PATH), u"ping"_s, address});
    else
        ping.start(QStringLiteral(VARNHOLT_CLI_PATH), {u"ping"_s, address});
    QVERIFY(ping.waitForFinished(LongWait)); // no server of the test's own to serve meanwhile
    const QByteArray out = ping.readAllStandardOutput();
    const QByteArray err = ping.readAllStandardError();

    if (err.contains("does not allow this program to send ICMP echo requests"))
        QSKIP("this system allows no ICMP socket to this process (net.ipv4.ping_group_range, CAP_NET_RAW)");
    QCOMPARE(ping.exitStatus(), QProcess::NormalExit);
    QCOMPARE(ping.exitCode(), exitCode);
    QVERIFY2(err.isEmpty(), err.constData());
    QVERIFY2(QRegularExpression(verdict).match(QString::fromUtf8(out)).hasMatch(), out.constData());
}

// As the package installs it (+p), and as an older package left it (+ep): run by an ordinary
// user where datagram ICMP sockets are forbidden, the ping opens a raw socket, and once the
// echo is done, while it writes the verdict into a full pipe, nothing is in effect.
void TstCli::pingRaisesItsCapabilityOnlyToOpenARawSocket()
{
    if (geteuid() != 0 || QStandardPaths::findExecutable(u"setpriv"_s).isEmpty())
        QSKIP("setting a file capability and running as another user need root and setpriv (util-linux)");
    QTemporaryDir folder;
    const QString program = folder.filePath(u"varnholt-cli"_s);
    QVERIFY(QFile::copy(QStringLiteral(VARNHOLT_CLI_PATH), program));
    QVERIFY(QFile::setPermissions(folder.path(), QFile::permissions(program)));
    if (QProcess::execute(u"setcap"_s, {u"cap_net_raw+p"_s, program}) != 0)
        QSKIP("setcap (libcap2-bin) is missing, or the temporary folder keeps no file capabilities");
    VARNHOLT_RUN_IN_NETWORK_NAMESPACE(
        (QStringList{u"ip link set lo up"_s, u"echo 1 0 > /proc/sys/net/ipv4/ping_group_range"_s}));

    for (const QString& capability : {u"cap_net_raw+p"_s, u"cap_net_raw+ep"_s}) {
        QCOMPARE(QProcess::execute(u"setcap"_s, {capability, program}), 0);
        int ends[2];
        QVERIFY(pipe2(ends, O_CLOEXEC | O_NONBLOCK) == 0);
        const UniqueFd readEnd(ends[0]);
        UniqueFd writeEnd(ends[1]);
        qsizetype filled = 0; // the program waits in its first write, the verdict after the echo
        for (ssize_t written = 0; (written = write(writeEnd.get(), "....", 4)) > 0;)
            filled += written;
        QVERIFY(fcntl(writeEnd.get(), F_SETFL, 0) == 0 && fcntl(readEnd.get(), F_SETFL, 0) == 0);
        QProcess ping;
        const int out = writeEnd.get();
        ping.setChildProcessModifier([out] { dup2(out, STDOUT_FILENO); });
        ping.start(u"setpriv"_s,
                   {u"--reuid=65534"_s, u"--regid=65534"_s, u"--clear-groups"_s, program, u"ping"_s, u"127.0.0.1"_s});
        writeEnd = UniqueFd();
        const QString proc = u"/proc/%1/"_s.arg(ping.processId());
        const auto read = [](const QString& path) {
            QFile file(path);
            return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
        };
        const QByteArray writingOut = QByteArray::number(SYS_write) + " 0x1 "; // blocked in write(1, ...)
        QVERIFY(QTest::qWaitFor([&] { return read(proc + u"syscall"_s).startsWith(writingOut); }, LongWait));
        const QByteArray status = read(proc + u"status"_s);
        QFile output;
        QVERIFY(output.open(readEnd.get(), QIODevice::ReadOnly, QFileDevice::DontCloseHandle));
        const QByteArray verdict = output.readAll().mid(filled);
        QVERIFY(ping.waitForFinished(LongWait));

        QVERIFY2(status.contains("CapPrm:\t0000000000002000\n") && status.contains("CapEff:\t0000000000000000\n"),
                 status.constData());
        QCOMPARE(ping.exitCode(), 0);
        QVERIFY2(verdict.startsWith("The IP 127.0.0.1 Is Alive.\n"), verdict.constData());
    }
}

QTEST_GUILESS_MAIN(TstCli)
#include "tst_cli.moc"
