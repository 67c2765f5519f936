#include "FakeProxies.h"
#include "ProxyChecker.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

using namespace Qt::StringLiterals;

namespace {

// Proxies on loopback that all answer at once, each listed many times over: what is measured
// is the checker's own cost per proxy, and the fakes serving in this same process.
struct LoopbackProxies
{
    static constexpr int Servers = 8;

    LoopbackProxies()
    {
        for (int n = 0; n < Servers; ++n)
            proxies.push_back(std::make_unique<FakeProxy>(FakeProxy::Kind::HttpForbidden, u"127.0.1.%1"_s.arg(n + 1),
                                                          judge.serverPort()));
    }

    std::vector<ProxyRecord> list(qsizetype size) const
    {
        std::vector<ProxyRecord> records;
        for (qsizetype n = 0; n < size; ++n)
            records.push_back(
                std::get<ProxyRecord>(ParseProxyLine(proxies[std::size_t(n % Servers)]->line().toUtf8())));
        return records;
    }

    FakeJudge judge;
    std::vector<std::unique_ptr<FakeProxy>> proxies;
};

void BM_CheckLoopbackProxies(benchmark::State& state)
{
    const LoopbackProxies fakes;
    const std::vector<ProxyRecord> list = fakes.list(state.range(0));
    qsizetype passing = 0;
    for (auto _ : state) {
        ProxyChecker checker(ProbeSettings{}, 64);
        QEventLoop loop;
        passing = 0;
        QObject::connect(&checker, &ProxyChecker::checked, &loop, [&passing](qsizetype, const ProbeResult& result) {
            passing += result.level >= ProbeLevel::Speaks ? 1 : 0;
        });
        QObject::connect(&checker, &ProxyChecker::finished, &loop, &QEventLoop::quit);
        checker.start(list);
        loop.exec();
    }
    if (passing != qsizetype(list.size()))
        state.SkipWithError("not every proxy passed");
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

// The whole program as a script runs it, from the process start to its exit, over a list of
// 10 000 lines with the default jobs.
void BM_CliCheckTenThousand(benchmark::State& state)
{
    const LoopbackProxies fakes;
    QTemporaryDir folder;
    QFile file(folder.filePath(u"list.txt"_s));
    if (!file.open(QIODevice::WriteOnly)) {
        state.SkipWithError("the list cannot be written");
        return;
    }
    constexpr int Lines = 10000;
    for (int n = 0; n < Lines; ++n)
        file.write(fakes.proxies[std::size_t(n % LoopbackProxies::Servers)]->line().toUtf8() + "\r\n");
    file.close();
    for (auto _ : state) {
        QProcess cli;
        QEventLoop loop;
        QObject::connect(&cli, &QProcess::finished, &loop, &QEventLoop::quit);
        QObject::connect(&cli, &QProcess::errorOccurred, &loop, &QEventLoop::quit);
        cli.start(QStringLiteral(VARNHOLT_CLI_PATH), {u"check"_s, u"--quiet"_s, file.fileName()});
        loop.exec();
        if (cli.state() != QProcess::NotRunning || cli.exitStatus() != QProcess::NormalExit || cli.exitCode() != 0
            || cli.readAllStandardOutput().count("\r\n") != Lines) {
            cli.kill();
            cli.waitForFinished();
            state.SkipWithError("varnholt-cli did not pass every proxy");
            return;
        }
    }
    state.SetItemsProcessed(state.iterations() * Lines);
}

} // namespace

BENCHMARK(BM_CheckLoopbackProxies)->Arg(2000)->Arg(5000)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_CliCheckTenThousand)->Unit(benchmark::kMillisecond)->UseRealTime();

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
