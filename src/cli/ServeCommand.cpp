#include "ServeCommand.h"

#include "CheckProgress.h"
#include "Console.h"
#include "ExitStatus.h"
#include "PlainText.h"
#include "TextNumber.h"

#include <QCommandLineParser>
#include <QLocale>

using namespace Qt::StringLiterals;

namespace {

constexpr std::chrono::milliseconds StatusInterval{500};
constexpr int MaxClients = 10000;
constexpr int MaxRecheckSeconds = 86400;

QString Bytes(quint64 bytes)
{
    return QLocale::c().formattedDataSize(qint64(bytes), 1, QLocale::DataSizeTraditionalFormat);
}

// A whole number from `least` to `most`, or the reason it is not.
std::variant<int, QString> WholeNumber(const QCommandLineParser& parsed, const QCommandLineOption& option, int least,
                                       int most)
{
    const std::optional<int> number = WholeNumberFromText(parsed.value(option), least, most);
    if (!number)
        return u"invalid --%1 value \"%2\": expected a whole number from %3 to %4"_s.arg(
            option.names().constLast(), DisplayText(parsed.value(option)), QString::number(least),
            QString::number(most));
    return *number;
}

} // namespace

ServeCommand::ServeCommand(Console& console, PageFetcher& fetcher)
    : m_console(console)
    , m_input(console, fetcher)
{
    m_statusTimer.setInterval(StatusInterval);
    connect(&m_statusTimer, &QTimer::timeout, this, &ServeCommand::showStatus);
}

// The server's thread ends before the server and its sessions go.
ServeCommand::~ServeCommand()
{
    m_keeper.reset();
    if (m_engine)
        m_engine->halt();
    m_server.reset();
    m_engine.reset();
}

QString ServeCommand::name() const
{
    return u"serve"_s;
}

QString ServeCommand::synopsis() const
{
    return u"[FILE|URL...] --judge URL [--listen HOST:PORT] [--jobs N] [--timeout SECONDS] [--recheck SECONDS] "
           u"[--max-clients N] [--allow CIDR]... [--verbose]"_s;
}

QString ServeCommand::help() const
{
    return uR"(a local proxy for HTTP (GET and the like, and CONNECT) and SOCKS5 on one port, which sends
          each connection through a working proxy of the lists, taken in turn; it checks the
          lists through the judge first, prints the address it listens on, and serves until a
          stop signal
)"_s + ProbeOptions::help()
        + uR"(  --listen HOST:PORT   where to listen (default 127.0.0.1:8888; port 0: a free one)
  --recheck SECONDS    check the pool again this often (default 300)
  --max-clients N      clients served at once (default 256)
  --allow CIDR         clients from these addresses may connect too (loopback clients always
                       may); needed to listen on an address other hosts can reach
  -v, --verbose        a line on standard error for each connection
)"_s;
}

QList<QCommandLineOption> ServeCommand::options() const
{
    return m_probing.options() << m_listen << m_recheck << m_maxClients << m_allow << m_verbose;
}

std::optional<QString> ServeCommand::read(const QCommandLineParser& parsed)
{
    m_lists = parsed.positionalArguments();
    m_verboseLog = parsed.isSet(m_verbose);
    if (std::optional<QString> refused = m_probing.read(parsed))
        return refused;
    if (!m_probing.judge())
        return u"serve needs a --judge: only a proxy that carried the judge's request goes into the pool"_s;
    m_limits.upstreamTimeout = m_probing.settings().timeout;
    if (parsed.isSet(m_recheck)) {
        const std::variant<int, QString> seconds = WholeNumber(parsed, m_recheck, 10, MaxRecheckSeconds);
        if (const auto* refused = std::get_if<QString>(&seconds))
            return *refused;
        m_recheckEvery = std::chrono::seconds(std::get<int>(seconds));
    }
    if (parsed.isSet(m_maxClients)) {
        const std::variant<int, QString> clients = WholeNumber(parsed, m_maxClients, 1, MaxClients);
        if (const auto* refused = std::get_if<QString>(&clients))
            return *refused;
        m_limits.maxClients = std::get<int>(clients);
    }
    return readListening(parsed);
}

// A proxy that anyone can reach is an open proxy: only the loopback is served unless --allow
// names who else may come.
std::optional<QString> ServeCommand::readListening(const QCommandLineParser& parsed)
{
    for (const QString& value : parsed.values(m_allow)) {
        const Subnet subnet = QHostAddress::parseSubnet(value);
        if (subnet.first.isNull() || subnet.second < 0)
            return u"invalid --allow value \"%1\": expected an address or ADDRESS/PREFIX, such as 192.0.2.0/24"_s.arg(
                DisplayText(value));
        m_allowed.append(subnet);
    }
    if (parsed.isSet(m_listen)) {
        const std::optional<ListenAddress> listen = ListenAddress::parse(parsed.value(m_listen));
        if (!listen)
            return u"invalid --listen value \"%1\": expected an IP address and a port (0 for a free one)"_s.arg(
                DisplayText(parsed.value(m_listen)));
        m_address = *listen;
    }
    if (!m_address.host.isLoopback() && m_allowed.isEmpty())
        return u"--listen %1 lets other hosts connect: name who may with --allow CIDR, or this would be an open "
               u"proxy"_s.arg(m_address.text());
    return std::nullopt;
}

std::optional<int> ServeCommand::prepare()
{
    try {
        m_engine = std::make_unique<ProbeEngine>();
    } catch (const std::system_error& error) {
        m_console.tell(u"this machine cannot start the server: "_s + QString::fromLocal8Bit(error.what()));
        return ExitStatus::LocalShortage;
    }
    m_server =
        std::make_unique<LocalProxyServer>(m_engine->context(), m_limits, m_allowed, [this](const RelayRecord& record) {
            QMetaObject::invokeMethod(
                this, [this, record] { log(record); }, Qt::QueuedConnection);
        });
    if (const std::optional<QString> failure = m_server->listen(m_address.host, m_address.port)) {
        m_console.tell(u"cannot listen on %1: %2"_s.arg(m_address.text(), *failure));
        return ExitStatus::Unreachable;
    }
    return m_input.read(m_lists);
}

int ServeCommand::run()
{
    m_keeper = std::make_unique<PoolKeeper>(
        m_probing.settings(), *m_probing.judge(), m_probing.fittedJobs(m_console),
        [engine = m_engine.get(), server = m_server.get()](std::vector<Upstream> working) {
            engine->post([server, working = std::move(working)] { server->usePool(working); });
        });
    connect(m_keeper.get(), &PoolKeeper::progressed, this, [this](qsizetype checked, qsizetype working) {
        if (m_progress)
            m_progress->update(checked, working);
    });
    connect(m_keeper.get(), &PoolKeeper::checkEnded, this, &ServeCommand::onCheckEnded);
    m_progress.emplace(m_console, ProgressReporter::modeFor(false));
    m_progress->start(qsizetype(m_input.proxies().size()));
    m_keeper->check(m_input.proxies());
    m_loop.exec();
    m_statusTimer.stop();
    if (Console::errIsTerminal())
        m_console.writeErr(QString::fromLatin1(Console::Redraw));
    return m_status;
}

// While serving, Ctrl+C or another stop signal is the normal end.
void ServeCommand::interrupt()
{
    if (m_serving) {
        m_engine->post([server = m_server.get()] { server->stop(); });
        m_status = ExitStatus::Done;
    } else if (m_status == ExitStatus::Done) {
        m_status = ExitStatus::Stopped;
    }
    m_loop.quit();
}

void ServeCommand::onCheckEnded(CheckEnding ending, const QString& reason, qsizetype working)
{
    if (m_progress) {
        m_progress->finish();
        m_progress.reset();
    }
    if (m_serving) {
        if (ending != CheckEnding::Completed)
            m_console.tell(
                u"the pool was not checked again (%1): serving through the proxies of the last check"_s.arg(reason));
        else if (working == 0)
            m_console.tell(u"no proxy of the pool works any more: clients are told so until a later check finds one"_s);
        return;
    }
    switch (ending) {
    case CheckEnding::Stopped:
        return;
    case CheckEnding::JudgeFailed:
        m_console.tell(reason);
        m_status = ExitStatus::Unreachable;
        return m_loop.quit();
    case CheckEnding::LocalShortage:
        m_console.tell(reason);
        m_status = ExitStatus::LocalShortage;
        return m_loop.quit();
    case CheckEnding::Completed:
        break;
    }
    if (working == 0) {
        m_console.tell(u"no proxy of the list works through the judge"_s);
        m_status = ExitStatus::No;
        return m_loop.quit();
    }
    onServing();
}

void ServeCommand::onServing()
{
    m_engine->post([server = m_server.get()] { server->start(); }); // after the pool the check handed over
    m_serving = true;
    if (!m_console.writeOut(ListenAddress{m_address.host, m_server->port()}.text().toUtf8() + '\n')) {
        m_console.tell(u"cannot write to standard output: "_s + m_console.outError());
        m_status = ExitStatus::FileFailure;
        return interrupt();
    }
    m_keeper->recheckEvery(m_recheckEvery);
    if (Console::errIsTerminal())
        m_statusTimer.start();
}

void ServeCommand::showStatus()
{
    const ServerState& state = m_server->state();
    m_console.writeErr(QString::fromLatin1(Console::Redraw)
                       + u"serving through %1 proxies, %2 clients, %3 relayed"_s.arg(
                           QString::number(state.working), QString::number(state.clients), Bytes(state.relayed)));
}

void ServeCommand::log(const RelayRecord& record)
{
    if (!m_verboseLog)
        return;
    const QString via = record.upstream.isEmpty() ? u"no proxy"_s : record.upstream;
    m_console.writeErr((Console::errIsTerminal() ? QString::fromLatin1(Console::Redraw) : QString())
                       + u"%1 -> %2 via %3: %4, %5 bytes sent, %6 received\n"_s.arg(
                           record.client, record.target.isEmpty() ? u"-"_s : record.target, via, record.outcome,
                           QString::number(record.sent), QString::number(record.received)));
}
