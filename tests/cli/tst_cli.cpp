#include "CheckCommand.h"
#include "ClosedPort.h"
#include "CommandLine.h"
#include "ConsolePrompter.h"
#include "EventYielder.h"
#include "Files.h"
#include "HarvestCommand.h"
#include "HttpPageFetcher.h"
#include "JudgeCommand.h"
#include "JudgeServer.h"
#include "LinuxIcmpLibrary.h"
#include "LinuxSocketLibrary.h"
#include "ScriptedHttpServer.h"
#include "ScriptedProxy.h"
#include "UniqueFd.h"
#include "VarnholtCommands.h"
#include "WhoisCommand.h"

#include <QDir>
#include <QPointer>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

#include <fcntl.h>
#include <netinet/in.h>
#include <pty.h>
#include <sys/resource.h>
#include <sys/socket.h>

using namespace Qt::StringLiterals;

namespace {

// One proxy row of the list site, a cell a line, its whois link among them; a page has four header rows first.
QByteArray Row(const QByteArray& address, const QByteArray& port)
{
    return "<tr align=\"center\">\n<td>" + address + "</td>\n<td>" + port
        + "</td>\n<td>HTTP</td>\n<td><a href=\"/whois\">whois</a></td>\n<td>Italy</td>\n<td>01-04-2004</td>\n";
}

QByteArray Page(const QByteArray& rows)
{
    return QByteArray("<tr align=\"center\">\n<th>Open proxies</th>\n").repeated(4) + rows;
}

const QByteArray TwoRows = Row("127.0.0.7", "8080") + Row("127.0.0.8", "3128");

// The commands as the program has them, over real services that reading a command line never uses.
struct Program
{
    Console console;
    HttpPageFetcher fetcher;
    ThrottledEventYielder yielder;
    ConsolePrompter prompter{console};
    LinuxIcmpLibrary icmp{prompter};
    LinuxSocketLibrary sockets;
    CommandLine commandLine{VarnholtCommands(console, {fetcher, yielder, icmp, sockets})};
};

// What a command line asks for, in a few words, so that one comparison checks it.
QString Told(const CliCommand& command)
{
    if (const auto* harvest = dynamic_cast<const HarvestCommand*>(&command))
        return u"harvest %1 pages from %2"_s.arg(harvest->request().pageCount, harvest->request().site.authority());
    if (const auto* whois = dynamic_cast<const WhoisCommand*>(&command))
        return u"whois %1 at %2"_s.arg(whois->request().address, whois->request().server.authority());
    if (const auto* judge = dynamic_cast<const JudgeCommand*>(&command))
        return u"judge on "_s + judge->listenAddress().text();
    const auto& check = dynamic_cast<const CheckCommand&>(command);
    const std::optional<Judge>& judge = check.probing().judge();
    return u"%1 ms, level %2, judge %3, %4"_s.arg(
        QString::number(check.probing().settings().timeout.count()), LevelName(check.request().required),
        judge ? judge->url.toString() : u"none"_s,
        check.request().anonymity ? AnonymityName(*check.request().anonymity) : u"any"_s);
}

// What varies from run to run as "#": a report's times, a ping's delay, a check's rate, the ports
// of the judge and of the local server.
QByteArray Varying(const QByteArray& text)
{
    static const QRegularExpression times(uR"(^((?:[^\t\n]*\t){5})\d+\t\d+\t)"_s, QRegularExpression::MultilineOption);
    static const QRegularExpression others(
        uR"((?<=Delay: )\d+|\d+(?=/s)|(?<=^http://127\.0\.0\.1:)\d+(?=/$)|(?<=^127\.0\.0\.1:)\d+$)"_s,
        QRegularExpression::MultilineOption);
    return QString::fromUtf8(text).replace(times, u"\\1#\t#\t"_s).replace(others, u"#"_s).toUtf8();
}

// The man page's synopsis as a terminal shows it, a line a verb.
QStringList ManPageSynopsis()
{
    const QString page = QString::fromUtf8(ReadFile(QStringLiteral(VARNHOLT_MAN_PAGE)));
    const QString synopsis = page.section(u".SH SYNOPSIS\n"_s, 1).section(u"\n.SH "_s, 0, 0);
    static const QRegularExpression word(u"\"([^\"]*)\"|(\\S+)"_s);
    QStringList lines{QString()};
    for (const QString& macroLine : synopsis.split(u'\n')) {
        if (macroLine == u".br"_s) {
            lines.append(QString());
            continue;
        }
        // .B and .I set their words as they are; the others alternate two fonts, words joined.
        const bool alternating = macroLine.section(u' ', 0, 0).size() == 3;
        QStringList words;
        for (auto match = word.globalMatch(macroLine.section(u' ', 1)); match.hasNext();) {
            const QRegularExpressionMatch next = match.next();
            words.append(next.captured(1) + next.captured(2));
        }
        QString joined = words.join(alternating ? u""_s : u" "_s);
        lines.last() += (lines.last().isEmpty() ? u""_s : u" "_s) + joined.replace(u"\\-"_s, u"-"_s);
    }
    return lines;
}

} // namespace

// The command line read in-process, then the program run as a script runs it, against loopback servers.
class TstCli final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void readsTheCommandLine_data();
    void readsTheCommandLine();
    void manPageShowsEveryVerb();
    void endsAsAScriptExpects_data();
    void endsAsAScriptExpects();

private:
    QTemporaryDir m_folder;
    const QString m_list = m_folder.filePath(u"list.txt"_s); // also what standard input holds
    QByteArray m_listed;
    const QString m_slowList = m_folder.filePath(u"slow.txt"_s);
    const QString m_saved = m_folder.filePath(u"saved.txt"_s);
    const QString m_closed = u"127.0.0.1:"_s + QString::number(ClosedLoopbackPort());
    // A page without rows, then two rows, then a page cut off in the middle; and the list as a file.
    ScriptedHttpServer m_site{[this](QTcpSocket& socket, const QByteArray& target) {
        if (target == "/list.txt")
            return ScriptedHttpServer::answer(socket, "200 OK", m_listed);
        if (target == "/refused.txt")
            return ScriptedHttpServer::answer(socket, "404 Not Found", m_listed);
        if (!target.endsWith("=200"))
            return ScriptedHttpServer::answer(socket, "200 OK", Page(target.endsWith("=100") ? TwoRows : QByteArray()));
        socket.write(ScriptedHttpServer::response("200 OK", Page(TwoRows)).left(200));
        socket.disconnectFromHost();
    }};
    // Two rows, then a second page that is held until the test answers it.
    QPointer<QTcpSocket> m_heldPage;
    ScriptedHttpServer m_holdingSite{[this](QTcpSocket& socket, const QByteArray& target) {
        if (target.endsWith("=0"))
            return ScriptedHttpServer::answer(socket, "200 OK", Page(TwoRows));
        m_heldPage = &socket;
    }};
    QTcpServer m_whois; // answers what it was asked, with a character of two bytes and an escape sequence
    JudgeServer m_judge;
    // Each carries requests from 127.0.0.6 on.
    ScriptedProxy m_http{ScriptedProxy::Kind::Relay, u"127.0.0.2"_s, u"127.0.0.6"_s};
    ScriptedProxy m_socks{ScriptedProxy::Kind::Socks5, u"127.0.0.3"_s, u"127.0.0.6"_s};
    ScriptedProxy m_web{ScriptedProxy::Kind::WebServer, u"127.0.0.4"_s};
    ScriptedProxy m_silent{ScriptedProxy::Kind::Silent, u"127.0.0.5"_s};
    ScriptedProxy m_via{ScriptedProxy::Kind::RelayVia, u"127.0.0.7"_s, u"127.0.0.6"_s};
    ScriptedProxy m_telling{ScriptedProxy::Kind::RelayForwardedFor, u"127.0.0.8"_s, u"127.0.0.6"_s};
    const QString m_gradedList = m_folder.filePath(u"graded.txt"_s);
    const QString m_slowFirst = m_folder.filePath(u"slow-first.txt"_s);
    const QString m_noneWork = m_folder.filePath(u"none-work.txt"_s);
};

void TstCli::initTestCase()
{
    QVERIFY(m_whois.listen(QHostAddress::LocalHost));
    QVERIFY(m_judge.listen(QHostAddress::LocalHost, 0));
    qputenv("TMPDIR", QFile::encodeName(m_folder.path())); // where the programs make their work folders
    connect(&m_whois, &QTcpServer::newConnection, this, [this] {
        QTcpSocket* peer = m_whois.nextPendingConnection();
        connect(peer, &QTcpSocket::readyRead, peer, [peer] {
            peer->write("asked " + peer->readAll().trimmed() + "\nCaf\xC3\xA9 \x1b[2J\n");
            peer->disconnectFromHost();
        });
    });
    // Both list formats and both line ends, and a line that is no proxy.
    m_listed = m_http.line().toUtf8() + '\n' + m_closed.toUtf8() + "\r\nnot a proxy\r\n"
        + m_socks.line(u"\t"_s).toUtf8() + "\tSOCKS5\tItaly\t2 min ago\r\n" + m_web.line(u" -> "_s).toUtf8() + "\r\n";
    QVERIFY(WriteFile(m_list, m_listed));
    QVERIFY(WriteFile(m_slowList, (m_http.line() + u'\n' + m_silent.line()).toUtf8()));
    QVERIFY(WriteFile(m_noneWork, (m_web.line() + u'\n' + m_closed).toUtf8()));
    QVERIFY(WriteFile(m_slowFirst, m_silent.line().toUtf8() + '\n' + m_listed));
    QVERIFY(WriteFile(m_gradedList, (m_http.line() + u'\n' + m_via.line() + u'\n' + m_telling.line()).toUtf8()));
}

void TstCli::readsTheCommandLine_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("told"); // for a refusal, what its reason must name
    const auto row = [](const char* name, const QString& arguments, const QString& told) {
        QTest::newRow(name) << arguments.split(u' ', Qt::SkipEmptyParts) << told;
    };
    row("harvest defaults", u"harvest"_s, u"harvest 20 pages from proxylist.varnholt.example"_s);
    row("pages as typed", u"harvest --pages=2.50 --site=[::1]:8080"_s, u"harvest 2.50 pages from [::1]:8080"_s);
    row("check", u"check --jobs 10000 --timeout=0.5"_s, u"500 ms, level speaks, judge none, any"_s);
    row("check, the least", u"check --jobs 1 --timeout=0.1"_s, u"100 ms, level speaks, judge none, any"_s);
    row("judge, less required", u"check --judge=http://127.0.0.1/ --require=reachable"_s,
        u"6000 ms, level reachable, judge http://127.0.0.1/, any"_s);
    row("anonymity", u"check --judge=http://127.0.0.1/ --anonymity=anonymous"_s,
        u"6000 ms, level works, judge http://127.0.0.1/, anonymous"_s);
    row("judge's address", u"judge --listen [::1]:0"_s, u"judge on [::1]:0"_s);
    row("whois", u"whois 10.0.0.1"_s, u"whois 10.0.0.1 at whois.arin.net"_s);
    row("no command", {}, u"no command"_s);
    row("page count no number", u"harvest --pages many"_s, u"\"many\""_s);
    row("page count infinite", u"harvest --pages inf"_s, u"\"inf\""_s);
    row("unknown format", u"harvest --format csv"_s, u"\"csv\""_s);
    row("malformed site", u"harvest --site host:99999"_s, u"\"host:99999\""_s);
    row("empty output file", u"harvest --output="_s, u"-o"_s);
    row("stray argument", u"harvest now"_s, u"\"now\""_s);
    row("option of another command", u"whois 127.0.0.1 --pages=3"_s, u"pages"_s);
    row("address with a line break", u"whois 127.0.0.1\r\nsecond"_s, u"ADDRESS"_s);
    row("malformed whois server", u"whois 127.0.0.1 --whois-server a:b"_s, u"\"a:b\""_s);
    row("ping without address", u"ping"_s, u"ADDRESS"_s);
    row("jobs 0", u"check --jobs 0"_s, u"\"0\""_s);
    row("jobs past the most", u"check --jobs 10001"_s, u"\"10001\""_s);
    row("timeout 0", u"check --timeout=0"_s, u"--timeout"_s);
    row("works without judge", u"check --require works"_s, u"--judge"_s);
    row("judge not http", u"check --judge ftp://127.0.0.1/"_s, u"\"ftp://127.0.0.1/\""_s);
    row("anonymity without an echo", u"check --judge http://127.0.0.1/ --expect=x --anonymity elite"_s,
        u"--anonymity"_s);
    row("anonymity not a level", u"check --judge http://127.0.0.1/ --anonymity=high"_s, u"\"high\""_s);
    row("judge listening on a name", u"judge --listen localhost:80"_s, u"\"localhost:80\""_s);
    row("serve without a judge", u"serve"_s, u"--judge"_s);
    row("serve to other hosts, none allowed", u"serve --judge http://127.0.0.1/ --listen 0.0.0.0:8888"_s, u"--allow"_s);
    // Every value before the address is at the edge of what is allowed: only the address is refused.
    row("serve, the least of each",
        u"serve --judge http://127.0.0.1/ --recheck 10 --max-clients 1 --allow 0.0.0.0/0 --listen 0.0.0.0:x"_s,
        u"\"0.0.0.0:x\""_s);
    row("serve allowing no subnet", u"serve --judge http://127.0.0.1/ --allow 10.0.0.0/33"_s, u"\"10.0.0.0/33\""_s);
}

// A refusal goes to standard error with status 2: a line naming what was wrong, then the usage.
void TstCli::readsTheCommandLine()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, told);
    Program program;
    const std::variant<CliCommand*, PrintedAnswer> read =
        program.commandLine.read(QStringList{u"varnholt-cli"_s} + arguments);
    const auto* refusal = std::get_if<PrintedAnswer>(&read);
    if (!refusal)
        QCOMPARE(Told(*std::get<CliCommand*>(read)), told);
    else
        QVERIFY2(refusal->toStandardError && refusal->exitStatus == 2 && refusal->text.startsWith(u"varnholt-cli: "_s)
                     && refusal->text.section(u'\n', 0, 0).contains(told)
                     && refusal->text.section(u'\n', 1).startsWith(u"Usage: varnholt-cli "_s),
                 qPrintable(refusal->text));
}

// The man page names every verb with the synopsis the program's own usage gives it; the usage
// fits a terminal of 80 columns and never breaks a bracketed group across lines.
void TstCli::manPageShowsEveryVerb()
{
    const Program program;
    QStringList usage;
    for (const std::unique_ptr<CliCommand>& command : program.commandLine.commands()) {
        const QString shown = CommandLine::usageLine(*command);
        usage.append(shown.simplified());
        for (const QString& line : shown.split(u'\n'))
            QVERIFY2(line.size() <= 80 && line.count(u'[') == line.count(u']'), qPrintable(line));
    }
    usage.append(u"varnholt-cli --help | --version"_s);
    QCOMPARE(ManPageSynopsis(), usage);
}

// Standard input holds the list; standard error is a terminal, or a log where the row sends stop signals.
void TstCli::endsAsAScriptExpects_data()
{
    QTest::addColumn<QString>("arguments"); // a space between each two
    QTest::addColumn<QByteArray>("out"); // then what the saved file holds
    QTest::addColumn<QByteArray>("err"); // as the terminal shows it
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QList<int>>("sent");
    const auto row = [](const char* name, const QString& arguments, const QByteArray& out, const QByteArray& err,
                        int exitCode, const QList<int>& sent = {}) {
        QTest::newRow(name) << arguments << out << err << exitCode << sent;
    };
    const QString harvest = u"harvest --site "_s + m_site.authority();
    const QByteArray noRows =
        "varnholt-cli: page 1 (offset 0): no proxy rows found — the page layout may have changed\n";
    const QByteArray http = m_http.line().toUtf8() + "\r\n";
    const QByteArray socks = m_socks.line(u"\t"_s).toUtf8() + "\tSOCKS5\tItaly\t2 min ago\r\n";
    const QByteArray reachable = http + socks + m_web.line(u" -> "_s).toUtf8() + "\r\n";
    const QByteArray skipped = "varnholt-cli: (standard input):3: skipped: not an address, a separator and a port\n";
    const QString stoppable = u"harvest --site "_s + m_holdingSite.authority();
    const QByteArray stopping = "Retrieving Page 1/20... 2 rows so far\n"
                                "varnholt-cli: stopping after the page in progress; Ctrl+C again stops at once\n";
    // A web server in a list waits for a request that never comes: one second is its time-out.
    const QString judge = u"check -q --judge "_s + m_judge.url().toString() + u" --timeout=1"_s;
    const QString closedJudge = u"http://"_s + m_closed + u'/';
    const auto graded = [](const ScriptedProxy& proxy, const char* level) {
        return proxy.line(u"\t"_s).toUtf8() + "\tHTTP\tpass\tworks\t#\t#\t" + level + "\t127.0.0.6\r\n";
    };

    row("harvest appended to a file", harvest + u" --pages=2 --separator=<> -o "_s + m_saved,
        "an earlier list\r\n127.0.0.7<>8080\r\n127.0.0.8<>3128\r\n",
        "Retrieving Page 1/2... [####################] 0 rows\n" + noRows
            + "Retrieving Page 2/2... [####################] 2 rows\nExtraction Completed. 2 rows\n",
        0);
    row("failed page keeps the rows before it", harvest + u" --pages=3 --format=all -q"_s,
        "127.0.0.7\t8080\tHTTP\tItaly\t01-04-2004\r\n127.0.0.8\t3128\tHTTP\tItaly\t01-04-2004\r\n",
        noRows + "varnholt-cli: cannot fetch page 3 (http://" + m_site.authority().toUtf8()
            + "/index.pl/proxy_list?order=&offset=200): Connection closed\n",
        3);
    row("no rows", harvest + u" --pages=1 -q"_s, {}, noRows + "varnholt-cli: no proxy rows found on any page\n", 1);
    row("list cannot be stored", harvest + u" --pages=2 -q -o "_s + m_folder.path(), {},
        noRows + "varnholt-cli: The list could not be saved to \"" + m_folder.path().toUtf8() + "\": Is a directory\n",
        4);
    row("Ctrl+C keeps the page in progress", stoppable, "127.0.0.7:8080\r\n127.0.0.8:3128\r\n127.0.0.9:80\r\n",
        stopping + "Retrieving Page 2/20... 3 rows so far\nStopped. 3 rows\n", 130, {SIGINT});
    row("SIGHUP, SIGTERM stop at once", stoppable, {},
        stopping + "varnholt-cli: stopped at once; nothing was written\n", 129, {SIGHUP, SIGTERM});
    row("check reachable, a file then standard input", u"check -q --require=reachable "_s + m_list + u" -"_s, reachable,
        QByteArray(skipped).replace("(standard input)", m_list.toUtf8()) + skipped
            + "varnholt-cli: 4 repeated lines skipped: each names a host and port listed before it\n",
        0);
    row("check works through the judge", judge, http + socks, skipped, 0);
    row("the judge cannot be reached", judge.section(u' ', 0, 2) + u' ' + closedJudge, {},
        skipped + "varnholt-cli: the judge " + closedJudge.toUtf8() + " cannot be reached: Connection refused\n", 3);
    row("a list by address", u"check -q --require=reachable http://"_s + m_site.authority() + u"/list.txt"_s, reachable,
        QByteArray(skipped).replace("(standard input)", "http://" + m_site.authority().toUtf8() + "/list.txt"), 0);
    row("a list address that fails", u"check -q http://"_s + m_closed + u"/list.txt"_s, {},
        "varnholt-cli: cannot fetch http://" + m_closed.toUtf8() + "/list.txt: Connection refused\n", 3);
    row("a list address answered with an error", u"check -q http://"_s + m_site.authority() + u"/refused.txt"_s, {},
        "varnholt-cli: cannot fetch http://" + m_site.authority().toUtf8()
            + "/refused.txt: the server answered with status 404\n",
        3);
    row("report with the level and exit address",
        u"check -q --report --judge "_s + m_judge.url().toString() + u' ' + m_gradedList,
        graded(m_http, "elite") + graded(m_via, "anonymous") + graded(m_telling, "transparent"), {}, 0);
    row("at least anonymous", judge + u" --anonymity=anonymous "_s + m_gradedList,
        (m_http.line() + u"\r\n"_s + m_via.line() + u"\r\n"_s).toUtf8(), {}, 0);
    row("fewer open files than jobs", u"ulimit=100 check -q --jobs 1000 --require=reachable"_s, reachable,
        skipped
            + "varnholt-cli: this process may open 100 files at most (its hard limit): checking 36 proxies at once, "
              "not 1000\n",
        0);
    row("none passes", QString(judge).remove(u" -q"_s) + u' ' + m_noneWork, {},
        "checked 2/2, 0 passing, #/s\nvarnholt-cli: no proxy passed the check\n", 1);
    row("list cannot be read", u"check /nonexistent/list.txt"_s, {},
        "varnholt-cli: cannot read /nonexistent/list.txt: No such file or directory\n", 2);
    row("Ctrl+C prints the checks so far", u"check -q --timeout=60 "_s + m_slowList, http, {}, 130, {SIGINT});
    // The silent proxy's line waits for its time-out; the checking of the others does not.
    row("list order, a slow proxy first", u"check -q --jobs=2 --timeout=1 --require=reachable "_s + m_slowFirst,
        (m_silent.line() + u"\r\n"_s).toUtf8() + reachable,
        QByteArray(skipped).replace("(standard input):3", m_slowFirst.toUtf8() + ":4"), 0);
    row("a judge of our own until SIGTERM", u"judge"_s, "http://127.0.0.1:#/\n", {}, 0, {SIGTERM});
    const QString serve = u"serve --timeout=1 --judge "_s + m_judge.url().toString() + u" --listen 127.0.0.1:"_s;
    row("serve until SIGTERM", serve + u"0 "_s + m_gradedList, "127.0.0.1:#\n", "checked 3/3, 3 passing, #/s\n", 0,
        {SIGTERM});
    row("serve, no proxy working", serve + u"0 "_s + m_noneWork, {},
        "checked 2/2, 0 passing, #/s\nvarnholt-cli: no proxy of the list works through the judge\n", 1);
    row("serve on an address in use", serve + QString::number(m_whois.serverPort()), {},
        "varnholt-cli: cannot listen on 127.0.0.1:" + QByteArray::number(m_whois.serverPort())
            + ": Address already in use\n",
        3);
    row("a judge on an address in use", u"judge --listen 127.0.0.1:"_s + QString::number(m_whois.serverPort()), {},
        "varnholt-cli: cannot listen on 127.0.0.1:" + QByteArray::number(m_whois.serverPort())
            + ": The bound address is already in use\n",
        3);
    row("whois", u"whois 127.0.0.1 --whois-server=127.0.0.1:"_s + QString::number(m_whois.serverPort()),
        "*** Whoising 127.0.0.1...\r\nasked 127.0.0.1\r\nCaf\xC3\xA9 \xE2\x90\x9B[2J\r\n\r\n*** End of whois.", {}, 0);
    row("whois unreachable", u"whois 127.0.0.1 --whois-server "_s + m_closed, "*** Cannot connect to whois server.",
        "varnholt-cli: the whois server " + m_closed.toUtf8() + " cannot be reached, or broke the connection off\n", 3);
    row("Ctrl+C ends a whois", u"whois 127.0.0.1 --whois-server="_s + m_silent.line(), "*** Whoising 127.0.0.1...\r\n",
        {}, 130, {SIGINT});
    row("ping alive", u"ping 127.0.0.1"_s, "The IP 127.0.0.1 Is Alive.\nDelay: # ms.\nStatus: Success\n", {}, 0);
    row("ping dead", u"ping x"_s, "The IP x Is Dead.\nDelay: # ms.\nStatus: Bad Destination\n", {}, 1);
    const QByteArray full = "varnholt-cli: cannot write to standard output: No space left on device\n";
    row("ping to a full disk", u"ping x >/dev/full"_s, {}, full, 4);
    row("check to a full disk", u"check -q --require=reachable - >/dev/full"_s, {}, skipped + full, 4);
    row("refused", u"fetch"_s, {}, "varnholt-cli: unknown command \"fetch\"", 2);
    row("version", u"--version"_s, "varnholt-cli " VARNHOLT_VERSION "\n", {}, 0);
}

void TstCli::endsAsAScriptExpects()
{
    QFETCH(QString, arguments);
    QFETCH(QByteArray, out);
    QFETCH(QByteArray, err);
    QFETCH(int, exitCode);
    QFETCH(QList<int>, sent);
    // The program may open what this process may: an ICMP socket of one kind or the other.
    if (arguments.startsWith(u"ping "_s) && !UniqueFd(::socket(AF_INET, SOCK_DGRAM, IPPROTO_ICMP)).isValid()
        && !UniqueFd(::socket(AF_INET, SOCK_RAW, IPPROTO_ICMP)).isValid())
        QSKIP("this system allows this user no ICMP socket (net.ipv4.ping_group_range, CAP_NET_RAW)");
    QFile::remove(m_saved);
    QVERIFY(!arguments.endsWith(m_saved) || WriteFile(m_saved, "an earlier list\r\n"));
    int master = -1;
    int slave = -1;
    if (openpty(&master, &slave, nullptr, nullptr, nullptr) != 0 || fcntl(master, F_SETFL, O_NONBLOCK) != 0)
        QSKIP("no pseudo-terminal can be opened here");
    const UniqueFd terminal(master);
    UniqueFd programsEnd(slave);
    const auto workFolders = [this] { return QDir(m_folder.path()).entryList({u"varnholt-*"_s}, QDir::Dirs).size(); };
    m_heldPage = nullptr;

    QProcess cli;
    QByteArray printed;
    QByteArray written; // to the terminal, or to the log
    connect(&cli, &QProcess::readyReadStandardOutput, &cli, [&] { printed += cli.readAllStandardOutput(); });
    connect(&cli, &QProcess::readyReadStandardError, &cli, [&] { written += cli.readAllStandardError(); });
    QStringList words = arguments.split(u' ');
    // "ulimit=N" first: the program may open N files at most, its hard limit lowered as any process may.
    const rlim_t openFiles = words.first().startsWith(u"ulimit="_s) ? words.takeFirst().mid(7).toULong() : 0;
    cli.setChildProcessModifier([slave, terminal = sent.isEmpty(), openFiles] {
        if (terminal)
            dup2(slave, STDERR_FILENO);
        const rlimit limit{openFiles, openFiles};
        if (openFiles != 0)
            setrlimit(RLIMIT_NOFILE, &limit);
    });
    if (words.endsWith(u">/dev/full"_s)) { // a full disk takes the output
        cli.setStandardOutputFile(u"/dev/full"_s);
        words.removeLast();
    }
    cli.start(QStringLiteral(VARNHOLT_CLI_PATH), words);
    cli.write(m_listed);
    cli.closeWriteChannel();
    programsEnd = UniqueFd(); // the program holds the terminal now, and lets it go when it ends
    // Never to process 0, which is this test's whole process group, when the program has ended.
    const auto stop = [&cli](int signalNumber) {
        if (cli.processId() > 0)
            ::kill(pid_t(cli.processId()), signalNumber);
    };
    // The harvest's second page, the check's silent proxy, the whois answer and the judge wait for the signals.
    if (!sent.isEmpty()) {
        QVERIFY(QTest::qWaitFor([&] { return m_heldPage || (!out.isEmpty() && Varying(printed) == out); }, 60000));
        stop(sent.first());
    }
    if (m_heldPage) {
        QCOMPARE(workFolders(), 1);
        QVERIFY(QTest::qWaitFor([&] { return written.contains("stopping after"); }, 60000));
        if (sent.size() > 1)
            stop(sent.last());
        else
            ScriptedHttpServer::answer(*m_heldPage, "200 OK", Page(Row("127.0.0.9", "80")));
    }
    QVERIFY(QTest::qWaitFor([&cli] { return cli.state() == QProcess::NotRunning; }, 60000));
    char bytes[4096];
    for (ssize_t got = 0; (got = ::read(master, bytes, sizeof bytes)) > 0;)
        written.append(bytes, got);

    printed += ReadFile(m_saved);
    QCOMPARE(QString::fromUtf8(Varying(printed)), QString::fromUtf8(out));
    // What is left of each line after its last redrawing; the usage after a refusal is read in-process.
    const QString screen = QString::fromUtf8(Varying(written)).remove(QRegularExpression(u"[^\n]*\x1b\\[K|\r"_s));
    QCOMPARE(screen.section(u"\nUsage: "_s, 0, 0), QString::fromUtf8(err));
    QCOMPARE(cli.exitStatus(), QProcess::NormalExit);
    QCOMPARE(cli.exitCode(), exitCode);
    QCOMPARE(workFolders(), 0);
}

QTEST_GUILESS_MAIN(TstCli)
#include "tst_cli.moc"
