#include "CliArguments.h"

#include <QCoreApplication>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

// A request in a few words, so that one comparison checks what the command line asked for.
QString Told(const CliRequest& request)
{
    if (const auto* answer = std::get_if<PrintedAnswer>(&request)) {
        const QString first = answer->text.section(u'\n', 0, 0);
        return u"%1 %2: %3"_s.arg(answer->toStandardError ? u"refused"_s : u"printed"_s,
                                  QString::number(answer->exitStatus), first);
    }
    if (const auto* harvest = std::get_if<HarvestRequest>(&request)) {
        const bool all = harvest->format.layout == ListFormat::Layout::AllData;
        return u"harvest %1 pages from %2, %3, to %4%5"_s.arg(
            harvest->pageCount, harvest->site.authority(),
            all ? u"all data"_s : u"\"%1\""_s.arg(harvest->format.separator), harvest->outputFile.value_or(u"stdout"_s),
            harvest->quiet ? u", quiet"_s : QString());
    }
    if (const auto* check = std::get_if<CheckRequest>(&request))
        return u"check %1, %2 jobs, level %3%4"_s.arg(check->files.join(u' '), QString::number(check->jobs),
                                                      QString::number(int(check->required)),
                                                      check->report ? u", report"_s : QString());
    if (const auto* whois = std::get_if<WhoisRequest>(&request))
        return u"whois %1 at %2"_s.arg(whois->address, whois->server.authority());
    return u"ping "_s + std::get<PingRequest>(request).address;
}

} // namespace

// The command line read in the process: what each verb is asked, and every refusal, whose
// first line names the reason and is followed by the usage.
class TstCliArguments final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QCoreApplication::setApplicationVersion(QStringLiteral(VARNHOLT_VERSION)); }
    void readsTheCommandLine_data();
    void readsTheCommandLine();
};

void TstCliArguments::readsTheCommandLine_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("told");
    const auto row = [](const char* name, const QStringList& arguments, const QString& told) {
        QTest::newRow(name) << arguments << told;
    };
    const auto refused = [](const QString& reason) { return u"refused 2: varnholt-cli: "_s + reason; };
    row("harvest defaults", {u"harvest"_s}, u"harvest 20 pages from proxylist.varnholt.example, \":\", to stdout"_s);
    row("harvest options",
        {u"harvest"_s, u"--pages= 2.5 "_s, u"--site"_s, u"[::1]:8080"_s, u"--separator="_s, u"-o"_s, u"x.txt"_s,
         u"-q"_s},
        u"harvest  2.5  pages from [::1]:8080, \"\", to x.txt, quiet"_s);
    row("all data", {u"harvest"_s, u"--format"_s, u"all"_s},
        u"harvest 20 pages from proxylist.varnholt.example, all data, to stdout"_s);
    row("check", {u"check"_s, u"a.txt"_s, u"-"_s, u"--jobs"_s, u"5"_s, u"--report"_s},
        u"check a.txt -, 5 jobs, level 2, report"_s);
    row("whois", {u"whois"_s, u"10.0.0.1"_s}, u"whois 10.0.0.1 at whois.arin.net"_s);
    row("whois elsewhere", {u"whois"_s, u"10.0.0.1"_s, u"--whois-server=127.0.0.1:4343"_s},
        u"whois 10.0.0.1 at 127.0.0.1:4343"_s);
    row("ping", {u"ping"_s, u"127.0.0.1"_s}, u"ping 127.0.0.1"_s);
    row("version", {u"--version"_s}, u"printed 0: varnholt-cli "_s + QStringLiteral(VARNHOLT_VERSION));
    row("help", {u"--help"_s},
        u"printed 0: Usage: varnholt-cli harvest [--pages N] [--site HOST[:PORT]] [--format ip-port|all]"_s);
    row("no command", {}, refused(u"no command given"_s));
    row("unknown command", {u"fetch"_s}, refused(u"unknown command \"fetch\""_s));
    row("unknown option", {u"harvest"_s, u"--bogus"_s}, refused(u"Unknown option 'bogus'."_s));
    row("option without its value", {u"harvest"_s, u"--pages"_s}, refused(u"Missing value after '--pages'."_s));
    row("page count no number", {u"harvest"_s, u"--pages"_s, u"many"_s},
        refused(u"invalid --pages value \"many\": expected a number of pages from 1 to 20"_s));
    row("unknown format", {u"harvest"_s, u"--format"_s, u"csv"_s},
        refused(u"invalid --format value \"csv\": expected ip-port or all"_s));
    row("separator with all data", {u"harvest"_s, u"--format=all"_s, u"--separator"_s, u";"_s},
        refused(u"--separator goes with --format ip-port only"_s));
    row("malformed site", {u"harvest"_s, u"--site"_s, u"host:99999"_s},
        refused(u"invalid --site value \"host:99999\": expected HOST or HOST:PORT"_s));
    row("empty output file", {u"harvest"_s, u"-o"_s, QString()}, refused(u"-o needs a file name"_s));
    row("stray argument", {u"harvest"_s, u"now"_s}, refused(u"unexpected argument \"now\""_s));
    row("option of another command", {u"whois"_s, u"127.0.0.1"_s, u"--pages=3"_s},
        refused(u"--pages does not go with whois"_s));
    row("whois without address", {u"whois"_s}, refused(u"whois needs one ADDRESS"_s));
    row("whois of two addresses", {u"whois"_s, u"127.0.0.1"_s, u"127.0.0.2"_s}, refused(u"whois needs one ADDRESS"_s));
    row("address with a line break", {u"whois"_s, u"127.0.0.1\r\nsecond query"_s},
        refused(u"whois needs one ADDRESS"_s));
    row("malformed whois server", {u"whois"_s, u"127.0.0.1"_s, u"--whois-server"_s, u"a b"_s},
        refused(u"invalid --whois-server value \"a b\": expected HOST or HOST:PORT"_s));
    row("ping without address", {u"ping"_s}, refused(u"ping needs one ADDRESS"_s));
    row("jobs 0", {u"check"_s, u"--jobs"_s, u"0"_s},
        refused(u"invalid --jobs value \"0\": expected a whole number from 1 to 1000"_s));
    row("timeout 0", {u"check"_s, u"--timeout=0"_s},
        refused(u"invalid --timeout value \"0\": expected seconds from 0.1 to 3600"_s));
    row("works without judge", {u"check"_s, u"--require"_s, u"works"_s},
        refused(u"--require works needs a --judge to fetch through each proxy"_s));
    row("expect without judge", {u"check"_s, u"--expect"_s, u"x"_s}, refused(u"--expect goes with --judge only"_s));
    row("judge not http", {u"check"_s, u"--judge"_s, u"ftp://127.0.0.1/"_s},
        refused(u"invalid --judge value \"ftp://127.0.0.1/\": expected an http:// URL with a host"_s));
    row("harvest's option with check", {u"check"_s, u"--separator=;"_s},
        refused(u"--separator does not go with check"_s));
}

void TstCliArguments::readsTheCommandLine()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, told);
    const CliRequest request = ParseCliArguments(QStringList{u"varnholt-cli"_s} + arguments);
    QCOMPARE(Told(request), told);
    if (const auto* answer = std::get_if<PrintedAnswer>(&request); answer && answer->toStandardError)
        QVERIFY(answer->text.section(u'\n', 1, 1).startsWith(u"Usage: varnholt-cli harvest"_s));
}

QTEST_GUILESS_MAIN(TstCliArguments)
#include "tst_cliarguments.moc"
