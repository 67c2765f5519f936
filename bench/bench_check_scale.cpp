#include "PrivateNetwork.h"
#include "ProcessRun.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <cmath>
#include <functional>

using namespace Qt::StringLiterals;

namespace {

// Checking at scale, whole processes side by side in one run: varnholt-cli check, and a checker
// written the way the Python peers are (asyncio_checker.py), against the project's own epoll
// fake-proxy farm (fake_proxy_farm.cpp) on tens of thousands of loopback address-and-port pairs.
// Everything runs in a network namespace of this benchmark's own, whose only interface is the
// loopback: the farm listens on every address of it, and nothing can leave the machine.

constexpr int FirstPort = 8080;
constexpr int Ports = 2;
constexpr int ClosedPort = 9; // nothing listens there: a dead proxy, refused at once
constexpr int Answering = 1; // the second byte of the address picks the fake, as the farm reads it
constexpr int Silent = 2;
constexpr int PairsPerPort = 65536;

QTemporaryDir* folder = nullptr;

// The n-th proxy of a kind: a pair of its own of address and port.
QByteArray ProxyLine(int kind, int n, int port = 0)
{
    const int pair = n % PairsPerPort;
    const int portNumber = port != 0 ? port : FirstPort + n / PairsPerPort;
    return u"127.%1.%2.%3:%4\r\n"_s.arg(kind).arg(pair / 256).arg(pair % 256).arg(portNumber).toUtf8();
}

QString WriteList(const QString& name, int entries, const std::function<QByteArray(int)>& line)
{
    const QString path = folder->filePath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        qFatal("cannot write %s", qPrintable(path));
    for (int n = 0; n < entries; ++n)
        file.write(line(n));
    return path;
}

const QString Judge = u"http://127.1.255.255:%1/"_s.arg(FirstPort);

QStringList CliCheck(const QString& list, int jobs, double timeout)
{
    return {QStringLiteral(VARNHOLT_CLI_PATH),
            u"check"_s,
            u"--quiet"_s,
            u"--judge"_s,
            Judge,
            u"--jobs"_s,
            QString::number(jobs),
            u"--timeout"_s,
            QString::number(timeout),
            list};
}

QStringList AsyncioCheck(const QString& list, int jobs, double timeout)
{
    return {
        u"python3"_s,
        QStringLiteral(VARNHOLT_BENCH_DIR "/asyncio_checker.py"),
        list,
        u"127.1.255.255"_s,
        QString::number(FirstPort),
        QString::number(jobs),
        QString::number(timeout),
    };
}

qsizetype LinesIn(const QByteArray& path)
{
    QFile file(QString::fromLocal8Bit(path));
    return file.open(QIODevice::ReadOnly) ? file.readAll().count("\r\n") : -1;
}

// Runs the check once an iteration and tells its figures; `passing` proxies must pass.
void Measure(benchmark::State& state, const QStringList& command, qsizetype entries, qsizetype passing,
             double idealSeconds = 0)
{
    const QByteArray output = folder->filePath(u"passing.txt"_s).toLocal8Bit();
    Finished finished;
    for (auto _ : state) {
        finished = Run(command, output);
        state.SetIterationTime(finished.wallSeconds);
        if (LinesIn(output) != passing) {
            state.SkipWithError(qPrintable(u"%1 passed %2 of the %3 that should"_s.arg(
                command.first(), QString::number(LinesIn(output)), QString::number(passing))));
            return;
        }
    }
    state.counters["proxies_per_s"] = double(entries) / finished.wallSeconds;
    state.counters["cpu_us_per_proxy"] = finished.cpuSeconds * 1e6 / double(entries);
    state.counters["peak_MiB"] = double(finished.peakKiB) / 1024;
    if (idealSeconds > 0)
        state.counters["x_ideal"] = finished.wallSeconds / idealSeconds;
}

constexpr int AnsweringEntries = 20000;

// Every proxy answers at once: what is measured is the cost of a probe.
void BM_CliAnswering(benchmark::State& state)
{
    const QString list = WriteList(u"answering.txt"_s, AnsweringEntries, [](int n) { return ProxyLine(Answering, n); });
    Measure(state, CliCheck(list, int(state.range(0)), 6), AnsweringEntries, AnsweringEntries);
}

void BM_AsyncioAnswering(benchmark::State& state)
{
    const QString list = WriteList(u"answering.txt"_s, AnsweringEntries, [](int n) { return ProxyLine(Answering, n); });
    Measure(state, AsyncioCheck(list, int(state.range(0)), 6), AnsweringEntries, AnsweringEntries);
}

// Proxies that accept and never answer: the wall time is set by the jobs and the time-out alone,
// the ideal being ceil(entries / jobs) time-outs.
void BM_CliSilent(benchmark::State& state)
{
    constexpr int Entries = 8000;
    constexpr int Jobs = 5000;
    const QString list = WriteList(u"silent.txt"_s, Entries, [](int n) { return ProxyLine(Silent, n); });
    Measure(state, CliCheck(list, Jobs, 1), Entries, 0, std::ceil(double(Entries) / Jobs));
}

// 1 % of the list silent, spread evenly through it or all at its end: printing in list order must
// not hold the checking back.
void BM_CliSilentSpread(benchmark::State& state)
{
    constexpr int Entries = 5000;
    constexpr int Every = 100;
    const bool atEnd = state.range(0) != 0;
    const QString list = WriteList(atEnd ? u"silent-at-end.txt"_s : u"silent-spread.txt"_s, Entries, [atEnd](int n) {
        const bool silent = atEnd ? n >= Entries - Entries / Every : n % Every == Every / 2;
        return ProxyLine(silent ? Silent : Answering, n);
    });
    Measure(state, CliCheck(list, 64, 2), Entries, Entries - Entries / Every);
}

// A long public list, most of it dead, at the default jobs: the memory it takes.
void BM_CliHundredThousand(benchmark::State& state)
{
    constexpr int Entries = 100000;
    constexpr int AnsweringEvery = 5;
    const QString list = WriteList(u"hundred-thousand.txt"_s, Entries, [](int n) {
        return n % AnsweringEvery == 0 ? ProxyLine(Answering, n) : ProxyLine(Answering, n, ClosedPort);
    });
    const QStringList command{QStringLiteral(VARNHOLT_CLI_PATH), u"check"_s, u"--quiet"_s, u"--judge"_s, Judge, list};
    Measure(state, command, Entries, Entries / AnsweringEvery);
}

} // namespace

BENCHMARK(BM_CliAnswering)->Arg(64)->Arg(1000)->Arg(5000)->Arg(10000)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_AsyncioAnswering)
    ->Arg(64)
    ->Arg(1000)
    ->Arg(5000)
    ->Arg(10000)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CliSilent)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CliSilentSpread)->Arg(0)->Arg(1)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CliHundredThousand)->UseManualTime()->Unit(benchmark::kMillisecond);

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    if (!EnterPrivateNetwork()) {
        qCritical("cannot make a network namespace of its own: run as root, or where user namespaces are allowed");
        return 1;
    }
    QCoreApplication app(argc, argv);
    QTemporaryDir scratch;
    folder = &scratch;
    QStringList farm{QStringLiteral(VARNHOLT_FARM_PATH)};
    for (int port = FirstPort; port < FirstPort + Ports; ++port)
        farm << QString::number(port);
    const QByteArray ready = scratch.filePath(u"farm.out"_s).toLocal8Bit();
    const pid_t farmPid = Spawn(farm, ready);
    WaitForOutput(ready);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    kill(farmPid, SIGTERM);
    waitpid(farmPid, nullptr, 0);
    return 0;
}
