#include "PrivateNetwork.h"
#include "ProcessRun.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QThread>

#include <benchmark/benchmark.h>

#include <arpa/inet.h>
#include <netinet/in.h>

#include <atomic>
#include <thread>
#include <vector>

using namespace Qt::StringLiterals;

namespace {

// varnholt-cli serve as a whole process, in a network namespace of the benchmark's own: clients
// of this process go through it (client -> serve -> upstream -> source, two hops) to the
// project's own epoll fakes (fake_upstream.cpp: a CONNECT proxy and the sources; the judge is
// fake_proxy_farm.cpp), and the same transfer is also made straight from the source.

constexpr quint16 JudgePort = 8080;
constexpr quint16 UpstreamPort = 3128;
constexpr quint16 BulkSourcePort = 9000;
constexpr quint16 SmallSourcePort = 9002;
constexpr quint16 IdlePort = 9001;
constexpr quint16 ServePort = 8888;
constexpr long long BulkBytes = 2LL * 1024 * 1024 * 1024;
constexpr long long SmallBytes = 1024;
const QByteArray SourceAddress = "127.0.0.9";

pid_t servePid = 0;

// A connection of this process's own, plain POSIX: the client's side of every measurement.
int Connect(const char* address, quint16 port)
{
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(port);
    inet_pton(AF_INET, address, &to.sin_addr);
    if (connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof to) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

// Through the local server: a CONNECT to the source's port.
int ConnectThroughServe(quint16 sourcePort)
{
    const int fd = Connect("127.0.0.1", ServePort);
    const QByteArray request = "CONNECT " + SourceAddress + ':' + QByteArray::number(sourcePort) + " HTTP/1.1\r\n\r\n";
    if (fd >= 0 && send(fd, request.constData(), std::size_t(request.size()), 0) != request.size()) {
        close(fd);
        return -1;
    }
    return fd;
}

// Reads to the end; the bytes read.
long long Drain(int fd)
{
    static thread_local std::vector<char> buffer(1 << 20);
    long long total = 0;
    for (ssize_t got = 0; (got = recv(fd, buffer.data(), buffer.size(), 0)) > 0;)
        total += got;
    close(fd);
    return total;
}

long ResidentKiB(pid_t pid)
{
    QFile status(u"/proc/%1/status"_s.arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toLong();
    }
    return 0;
}

void BM_BulkTransfer(benchmark::State& state)
{
    const bool throughServe = state.range(0) != 0;
    long long bytes = 0;
    for (auto _ : state) {
        QElapsedTimer clock;
        clock.start();
        const int fd = throughServe ? ConnectThroughServe(BulkSourcePort) : Connect(SourceAddress, BulkSourcePort);
        bytes = fd < 0 ? 0 : Drain(fd);
        state.SetIterationTime(double(clock.nsecsElapsed()) / 1e9);
    }
    if (bytes < BulkBytes)
        state.SkipWithError("the transfer ended short");
    state.SetBytesProcessed(state.iterations() * BulkBytes);
}

// 50 clients at once, each making connection after connection through the server to a source
// that sends a kilobyte and closes.
void BM_ConnectionsPerSecond(benchmark::State& state)
{
    constexpr int Clients = 50;
    constexpr int Seconds = 5;
    std::atomic<long> done = 0;
    std::atomic<long> failed = 0;
    for (auto _ : state) {
        std::atomic<bool> stop = false;
        std::vector<std::thread> clients;
        for (int n = 0; n < Clients; ++n) {
            clients.emplace_back([&] {
                while (!stop) {
                    const int fd = ConnectThroughServe(SmallSourcePort);
                    (fd >= 0 && Drain(fd) > SmallBytes ? done : failed)++;
                }
            });
        }
        std::this_thread::sleep_for(std::chrono::seconds(Seconds));
        stop = true;
        for (std::thread& client : clients)
            client.join();
        state.SetIterationTime(Seconds);
    }
    state.counters["connections_per_s"] = double(done) / Seconds / double(state.iterations());
    state.counters["failed"] = double(failed);
}

// A thousand clients with their tunnels open and nothing to say: what the server holds for each.
void BM_IdleClients(benchmark::State& state)
{
    constexpr int Clients = 1000;
    double perClientKiB = 0;
    for (auto _ : state) {
        const long before = ResidentKiB(servePid);
        std::vector<int> clients;
        for (int n = 0; n < Clients; ++n)
            clients.push_back(ConnectThroughServe(IdlePort));
        QThread::msleep(2000); // every tunnel opened
        const long after = ResidentKiB(servePid);
        for (const int fd : clients)
            close(fd);
        perClientKiB = double(after - before) / Clients;
        state.SetIterationTime(1);
        QThread::msleep(1000);
    }
    state.counters["KiB_per_idle_client"] = perClientKiB;
}

} // namespace

BENCHMARK(BM_BulkTransfer)->Arg(0)->Arg(1)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ConnectionsPerSecond)->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_IdleClients)->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    if (!EnterPrivateNetwork()) {
        qCritical("cannot make a network namespace of its own: run as root, or where user namespaces are allowed");
        return 1;
    }
    QCoreApplication app(argc, argv);
    QTemporaryDir scratch;
    const QByteArray ready = scratch.filePath(u"fakes.out"_s).toLocal8Bit();
    const QByteArray address = scratch.filePath(u"serve.out"_s).toLocal8Bit();
    const QString list = scratch.filePath(u"list.txt"_s);
    QFile listFile(list);
    if (!listFile.open(QIODevice::WriteOnly) || listFile.write("127.3.0.1:3128\n") <= 0)
        return 1;
    listFile.close();
    const pid_t judge = Spawn({QStringLiteral(VARNHOLT_FARM_PATH), QString::number(JudgePort)});
    const pid_t upstream =
        Spawn({QStringLiteral(VARNHOLT_UPSTREAM_PATH), u"--proxy"_s, QString::number(UpstreamPort), u"--source"_s,
               QString::number(BulkSourcePort), QString::number(BulkBytes), u"--source"_s,
               QString::number(SmallSourcePort), QString::number(SmallBytes), u"--idle"_s, QString::number(IdlePort)},
              ready);
    WaitForOutput(ready);
    servePid = Spawn({QStringLiteral(VARNHOLT_CLI_PATH), u"serve"_s, u"--judge"_s,
                      u"http://127.1.255.255:%1/"_s.arg(JudgePort), u"--listen"_s, u"127.0.0.1:%1"_s.arg(ServePort),
                      u"--max-clients"_s, u"2000"_s, list},
                     address);
    if (!WaitForOutput(address, std::chrono::seconds(5))) {
        qCritical("varnholt-cli serve did not start serving");
        return 1;
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    for (const pid_t pid : {servePid, upstream, judge}) {
        kill(pid, SIGTERM);
        waitpid(pid, nullptr, 0);
    }
    return 0;
}
