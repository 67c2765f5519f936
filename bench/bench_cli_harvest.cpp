#include "DemoListSite.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QProcess>

#include <benchmark/benchmark.h>

using namespace Qt::StringLiterals;

namespace {

// The whole program as a script runs it, from the process start to its exit: a 20-page
// harvest from the demo site, served on loopback by this process meanwhile.
void BM_CliHarvestTwentyDemoPages(benchmark::State& state)
{
    DemoListSite site(DemoListSite::Options{});
    if (!site.listen()) {
        state.SkipWithError("the demo site cannot listen");
        return;
    }
    const QStringList arguments{u"harvest"_s, u"--pages"_s, u"20"_s,
                                u"--quiet"_s, u"--site"_s,  u"127.0.0.1:"_s + QString::number(site.serverPort())};
    qsizetype lines = 0;
    for (auto _ : state) {
        QProcess cli;
        QEventLoop loop;
        QObject::connect(&cli, &QProcess::finished, &loop, &QEventLoop::quit);
        QObject::connect(&cli, &QProcess::errorOccurred, &loop, &QEventLoop::quit);
        cli.start(QStringLiteral(VARNHOLT_CLI_PATH), arguments);
        loop.exec();
        if (cli.state() != QProcess::NotRunning || cli.exitStatus() != QProcess::NormalExit || cli.exitCode() != 0) {
            cli.kill();
            cli.waitForFinished();
            state.SkipWithError("varnholt-cli did not harvest");
            return;
        }
        lines = cli.readAllStandardOutput().count("\r\n");
    }
    state.counters["rows"] = double(lines);
}

} // namespace

BENCHMARK(BM_CliHarvestTwentyDemoPages)->Unit(benchmark::kMillisecond)->UseRealTime();

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
