#include "DesktopServices.h"
#include "HostPort.h"
#include "RawSocketPrivilege.h"
#include "StopSignalNotifier.h"
#include "WindowSystem.h"
#include "WorkFolder.h"

#include <QCommandLineParser>
#include <QIcon>
#include <QTextStream>

#include <optional>

using namespace Qt::StringLiterals;

namespace {

constexpr int UsageError = 2;

struct Options
{
    HostPort site{QString::fromLatin1(HarvestRun::DefaultSiteHost), std::nullopt};
    HostPort whoisServer{QString::fromLatin1(WhoisSession::DefaultServerHost), std::nullopt};
};

// What the command line asks for: a window with these options, or an answer printed at once.
struct CommandLine
{
    std::optional<Options> options;
    std::optional<int> exitCode; // set when the program ends without opening a window
};

// Read before the window system is started, so --help, --version and a malformed value are
// answered on a machine without a display too.
CommandLine ParseCommandLine(const QStringList& arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(u"Harvests the Varnholt open-proxy list."_s);
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption version = parser.addVersionOption();
    const QCommandLineOption site(u"site"_s, u"Fetch the list pages from HOST[:PORT] instead of the list site."_s,
                                  u"HOST[:PORT]"_s);
    const QCommandLineOption whoisServer(
        u"whois-server"_s, u"Ask the whois server at HOST[:PORT] instead of the registry's."_s, u"HOST[:PORT]"_s);
    parser.addOptions({site, whoisServer});

    QTextStream out(stdout);
    QTextStream err(stderr);
    const auto refuse = [&err](const QString& reason) {
        err << "varnholt: " << reason << '\n';
        return CommandLine{std::nullopt, UsageError};
    };
    if (!parser.parse(arguments))
        return refuse(parser.errorText());
    if (parser.isSet(help) || parser.isSet(u"help-all"_s)) {
        // Without an application object yet, the parser cannot name the program itself.
        out << parser.helpText().replace(u"<executable_name>"_s, u"varnholt"_s);
        return {std::nullopt, 0};
    }
    if (parser.isSet(version)) {
        out << QCoreApplication::applicationName() << ' ' << QCoreApplication::applicationVersion() << '\n';
        return {std::nullopt, 0};
    }
    if (!parser.positionalArguments().isEmpty())
        return refuse(u"unexpected argument \"%1\""_s.arg(parser.positionalArguments().constFirst()));

    Options options;
    for (const auto& [option, server] :
         {std::pair{&site, &options.site}, std::pair{&whoisServer, &options.whoisServer}}) {
        const std::variant<HostPort, QString> read = ReadServerOption(parser, *option, *server);
        if (const auto* refusal = std::get_if<QString>(&read))
            return refuse(*refusal);
        *server = std::get<HostPort>(read);
    }
    return {options, std::nullopt};
}

QStringList Arguments(int argc, char* argv[])
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments.append(QString::fromLocal8Bit(argv[i]));
    return arguments;
}

} // namespace

int main(int argc, char* argv[])
{
    RawSocketPrivilege::restrictProcess();
    QCoreApplication::setApplicationName(u"Varnholt Proxy List Extractor"_s);
    QCoreApplication::setApplicationVersion(QStringLiteral(VARNHOLT_VERSION));
    const CommandLine commandLine = ParseCommandLine(Arguments(argc, argv));
    if (commandLine.exitCode)
        return *commandLine.exitCode;
    const Options& options = *commandLine.options;

    const std::unique_ptr<QApplication> application = OpenWindowSystem(argc, argv);
    QGuiApplication::setDesktopFileName(u"varnholt"_s);
    QApplication::setWindowIcon(QIcon(u":/varnholt/varnholt.svg"_s));

    DesktopServices desktop;
    // A stop signal (the end of the desktop session, a kill, Ctrl+C in a terminal) is a quit,
    // so the work folder goes with the program.
    const StopSignalNotifier stopSignals;
    const WorkFolder workFolder;
    if (!workFolder.isValid()) {
        desktop.prompter().showMessage(
            u"The program cannot make its work folder for temporary files: %1"_s.arg(workFolder.errorString()),
            MessageStyle::Stop, MessagePrompter::defaultTitle());
        return 1;
    }

    Form1 window(
        desktop.services(),
        {workFolder.path(), QCoreApplication::applicationDirPath(), options.site.authority(), options.whoisServer});
    QObject::connect(&window, &Form1::endRequested, application.get(), [] { QCoreApplication::exit(0); });
    QObject::connect(&stopSignals, &StopSignalNotifier::received, &window, &QWidget::close);
    window.show();
    return QApplication::exec();
}
