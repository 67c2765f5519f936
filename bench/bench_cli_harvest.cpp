#include "DemoListSite.h"
#include "ProcessRun.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QThread>

#include <benchmark/benchmark.h>

#include <sys/wait.h>

#include <algorithm>
#include <map>
#include <vector>

using namespace Qt::StringLiterals;

namespace {

// The whole program as a script runs it, from the process start to its exit, against nginx
// serving the pages as static files on loopback with keep-alive, beside the same work done by
// curl, wc and a Python peer.

constexpr int Pages = 20;
constexpr int MiB = 1024 * 1024;
const std::vector<int> BigPageSizes{1, 16, 48, 64}; // MiB, pages without rows

constexpr auto PythonPeer = R"(import sys, urllib.request
from bs4 import BeautifulSoup
site, pages = sys.argv[1], int(sys.argv[2])
lines = []
for page in range(pages):
    address = "http://%s/index.pl/proxy_list?order=&offset=%d" % (site, page * 100)
    with urllib.request.urlopen(address) as reply:
        soup = BeautifulSoup(reply.read(), "lxml")
    for row in soup.find_all("tr", align="center")[4:]:
        cells = [cell.get_text(strip=True) for cell in row.find_all("td")]
        if len(cells) == 6:
            lines.append(cells[0] + ":" + cells[1] + "\r\n")
sys.stdout.write("".join(lines))
)";

void WriteFile(const QString& path, const QByteArray& content)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size())
        qFatal("cannot write %s", qPrintable(path));
}

// Written a piece at a time: the peak memory of a child counts this process's own peak, as the
// child starts as a copy of it (some 13 MiB).
void WritePageWithoutRows(const QString& path, qsizetype size)
{
    const QByteArray line = "<p>No proxy rows on this line, only text to scan past.</p>\n";
    const QByteArray piece = line.repeated(MiB / line.size());
    QFile file(path);
    bool written = file.open(QIODevice::WriteOnly);
    for (qsizetype left = size; written && left > 0; left -= piece.size())
        written = file.write(piece.left(left)) == std::min(left, piece.size());
    if (!written)
        qFatal("cannot write %s", qPrintable(path));
}

// nginx with a configuration of its own, in a folder of its own, on free loopback ports: one
// server for the 20 list pages, one for each page without rows.
class Nginx final
{
    Q_DISABLE_COPY_MOVE(Nginx)

public:
    Nginx()
    {
        const DemoListSite site(DemoListSite::Options{});
        QString servers;
        const auto addServer = [&](const QString& name) {
            QTcpServer probe; // a port nobody uses now; nginx takes it a moment later
            probe.listen(QHostAddress::LocalHost);
            m_ports[name] = probe.serverPort();
            QDir(m_folder.path()).mkdir(name);
            servers +=
                u"server { listen 127.0.0.1:%1; root %2/%3; location / { try_files /offset-$arg_offset.html =404; } }\n"_s
                    .arg(QString::number(m_ports[name]), m_folder.path(), name);
        };
        addServer(u"rows"_s);
        for (int page = 0; page < Pages; ++page)
            WriteFile(path(u"rows/offset-%1.html"_s.arg(page * DemoListSite::RowsPerPage)),
                      site.page(page * DemoListSite::RowsPerPage));
        for (const int size : BigPageSizes) {
            addServer(bigPageSet(size));
            WritePageWithoutRows(path(bigPageSet(size) + u"/offset-0.html"_s), qsizetype{size} * MiB);
        }
        const QString temp = path(u"temp"_s);
        WriteFile(path(u"nginx.conf"_s),
                  (u"daemon off; master_process off; worker_processes 1; pid %1/nginx.pid; error_log %1/error.log;\n"
                   "events { worker_connections 64; }\n"
                   "http { access_log off; sendfile on; keepalive_timeout 60s; keepalive_requests 1000;\n"
                   "default_type text/html; client_body_temp_path %2; proxy_temp_path %2; fastcgi_temp_path %2;\n"
                   "uwsgi_temp_path %2; scgi_temp_path %2;\n"_s.arg(m_folder.path(), temp)
                   + servers + u"}\n"_s)
                      .toUtf8());
        WriteFile(path(u"peer.py"_s), PythonPeer);
        m_pid = Spawn(
            {u"nginx"_s, u"-p"_s, m_folder.path(), u"-e"_s, path(u"error.log"_s), u"-c"_s, path(u"nginx.conf"_s)});
        for (int attempt = 0; m_pid != 0 && attempt < 100 && !m_ready; ++attempt) {
            QTcpSocket socket;
            socket.connectToHost(QHostAddress::LocalHost, m_ports.rbegin()->second);
            m_ready = socket.waitForConnected(50);
            if (!m_ready)
                QThread::msleep(50);
        }
    }

    ~Nginx()
    {
        if (m_pid == 0)
            return;
        kill(m_pid, SIGQUIT);
        waitpid(m_pid, nullptr, 0);
    }

    bool ready() const { return m_ready; }
    QString path(const QString& name) const { return QDir(m_folder.path()).filePath(name); }
    QString authority(const QString& set) const { return u"127.0.0.1:"_s + QString::number(m_ports.at(set)); }
    static QString bigPageSet(int mib) { return u"mib-"_s + QString::number(mib); }

private:
    QTemporaryDir m_folder;
    std::map<QString, quint16> m_ports;
    pid_t m_pid = 0;
    bool m_ready = false;
};

Nginx* server = nullptr;

QStringList CliHarvest(const QString& set, int pages)
{
    return {QStringLiteral(VARNHOLT_CLI_PATH),
            u"harvest"_s,
            u"--pages"_s,
            QString::number(pages),
            u"--quiet"_s,
            u"--site"_s,
            server->authority(set)};
}

QStringList PageAddresses(const QString& set, int pages)
{
    QStringList addresses;
    for (int page = 0; page < pages; ++page)
        addresses << u"http://%1/index.pl/proxy_list?order=&offset=%2"_s.arg(
            server->authority(set), QString::number(page * DemoListSite::RowsPerPage));
    return addresses;
}

// Runs the command once an iteration; the exit codes it may end with tell success.
void RunEach(benchmark::State& state, const QStringList& command, std::initializer_list<int> success)
{
    long peakKiB = 0;
    double cpuSeconds = 0;
    for (auto _ : state) {
        const Finished finished = Run(command);
        if (std::find(success.begin(), success.end(), finished.exitCode) == success.end()) {
            state.SkipWithError(qPrintable(command.first() + u" failed"_s));
            return;
        }
        peakKiB = std::max(peakKiB, finished.peakKiB);
        cpuSeconds += finished.cpuSeconds;
    }
    state.counters["peak_MiB"] = double(peakKiB) / 1024;
    state.counters["cpu_ms"] = benchmark::Counter(cpuSeconds * 1000, benchmark::Counter::kAvgIterations);
}

void BM_CliTwentyPages(benchmark::State& state)
{
    RunEach(state, CliHarvest(u"rows"_s, Pages), {0});
}

// One curl fetches the 20 pages over one connection and parses nothing.
void BM_CurlTwentyPages(benchmark::State& state)
{
    QStringList command{u"curl"_s, u"-sf"_s};
    for (const QString& address : PageAddresses(u"rows"_s, Pages))
        command << u"-o"_s << u"/dev/null"_s << address;
    RunEach(state, command, {0});
}

void BM_PythonTwentyPages(benchmark::State& state)
{
    RunEach(state,
            {u"/usr/bin/python3"_s, server->path(u"peer.py"_s), server->authority(u"rows"_s), QString::number(Pages)},
            {0});
}

// A page without rows: the harvest finds none and says so with exit status 1.
void BM_CliPageWithoutRows(benchmark::State& state)
{
    RunEach(state, CliHarvest(Nginx::bigPageSet(int(state.range(0))), 1), {1});
}

// The floor for the same page: fetch it to a file and read that file twice.
void BM_CurlAndTwoWcPageWithoutRows(benchmark::State& state)
{
    const QString file = server->path(u"fetched.html"_s);
    RunEach(state,
            {u"/bin/sh"_s, u"-c"_s, u"curl -sf -o \"$1\" \"$2\" && wc -l \"$1\" && wc -l \"$1\""_s, u"sh"_s, file,
             PageAddresses(Nginx::bigPageSet(int(state.range(0))), 1).first()},
            {0});
}

} // namespace

BENCHMARK(BM_CliTwentyPages)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_CurlTwentyPages)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_PythonTwentyPages)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_CliPageWithoutRows)->Arg(1)->Arg(16)->Arg(48)->Arg(64)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_CurlAndTwoWcPageWithoutRows)->Arg(48)->Unit(benchmark::kMillisecond)->UseRealTime();

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    Nginx nginx;
    if (!nginx.ready()) {
        qCritical("nginx does not serve the pages; is it installed (scripts/setup)?");
        return 1;
    }
    server = &nginx;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
