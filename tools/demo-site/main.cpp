#include "DemoListSite.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QTextStream>

using namespace Qt::StringLiterals;

// Serves the demo proxy list on 127.0.0.1 and prints the port it listens on, so a script can
// point the program at it.
int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(u"varnholt-demo-site"_s);

    QCommandLineParser parser;
    parser.setApplicationDescription(u"A loopback stand-in for the proxy-list web site."_s);
    parser.addHelpOption();
    const QCommandLineOption port(u"port"_s, u"Port to listen on (0: any free port)."_s, u"PORT"_s, u"0"_s);
    const QCommandLineOption seed(u"seed"_s, u"Seed of the made-up proxies."_s, u"SEED"_s, u"2004"_s);
    const QCommandLineOption delay(u"delay"_s, u"Milliseconds to wait before each page."_s, u"MS"_s, u"0"_s);
    const QCommandLineOption pages(u"pages"_s, u"Number of pages that hold proxies."_s, u"N"_s, u"30"_s);
    parser.addOptions({port, seed, delay, pages});
    parser.process(app);

    bool portOk = false;
    bool seedOk = false;
    bool delayOk = false;
    bool pagesOk = false;
    const uint portNumber = parser.value(port).toUInt(&portOk);
    DemoListSite::Options options;
    options.seed = parser.value(seed).toUInt(&seedOk);
    options.pageDelay = std::chrono::milliseconds(parser.value(delay).toUInt(&delayOk));
    options.pagesWithRows = parser.value(pages).toInt(&pagesOk);
    QTextStream err(stderr);
    if (!portOk || portNumber > 65535 || !seedOk || !delayOk || !pagesOk || options.pagesWithRows < 0) {
        err << "varnholt-demo-site: invalid option value; see --help\n";
        return 2;
    }

    DemoListSite site(options);
    if (!site.listen(QHostAddress::LocalHost, static_cast<quint16>(portNumber))) {
        err << "varnholt-demo-site: cannot listen: " << site.errorString() << '\n';
        return 1;
    }
    QTextStream(stdout) << site.serverPort() << Qt::endl;
    return QCoreApplication::exec();
}
