#include "DemoListSite.h"
#include "HarvestRun.h"
#include "HttpPageFetcher.h"
#include "PageParser.h"
#include "ProxyTable.h"
#include "ReportListView.h"
#include "ScriptedYielder.h"

#include <QApplication>
#include <QFile>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

using namespace Qt::StringLiterals;

namespace {

QByteArray PageWithoutMarkers(qsizetype size)
{
    const QByteArray line = "<p>No proxy rows on this line, only text to scan past.</p>\n";
    QByteArray page;
    page.reserve(size + line.size());
    while (page.size() < size)
        page += line;
    return page;
}

void WritePage(const QString& path, const QByteArray& page)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(page) != page.size())
        qFatal("cannot write the page file");
}

void ParsePageBench(benchmark::State& state, const QByteArray& page)
{
    QTemporaryDir folder;
    ProxyTable table;
    ScriptedYielder yielder;
    PageParser parser(table, yielder, folder.path());
    for (auto _ : state) {
        state.PauseTiming();
        table.clear();
        WritePage(parser.pageFilePath(), page); // the parse deletes it
        state.ResumeTiming();
        parser.ParsePage();
    }
    state.SetBytesProcessed(state.iterations() * page.size());
    state.counters["rows"] = table.count();
}

void BM_ParseLargePageWithoutMarkers(benchmark::State& state)
{
    ParsePageBench(state, PageWithoutMarkers(64 * 1024 * 1024));
}

void BM_ParseDemoPage(benchmark::State& state)
{
    ParsePageBench(state, DemoListSite(DemoListSite::Options{}).page(0));
}

void BM_HarvestTwentyDemoPages(benchmark::State& state)
{
    DemoListSite site(DemoListSite::Options{});
    site.listen();
    QTemporaryDir folder;
    HttpPageFetcher fetcher;
    ProxyTable table;
    ScriptedYielder yielder;
    HarvestRun run(table, {fetcher, yielder}, folder.path(), site.authority());
    for (auto _ : state)
        run.start([] { return u"20"_s; });
    state.counters["rows"] = table.count();
}

void BM_AppendEntriesWithViewAttached(benchmark::State& state)
{
    const ProxyEntry entry{u"127.0.0.1"_s, u"8080"_s, u"HTTP"_s, u"Italy"_s, u"29-04-2004"_s};
    for (auto _ : state) {
        ProxyTable table;
        ReportListView view;
        view.setModel(&table.model());
        view.setSelectionModel(&table.selection());
        view.resize(480, 170);
        view.show();
        for (int i = 0; i < state.range(0); ++i)
            table.append(entry);
        QCoreApplication::processEvents(); // the view lays the rows out
        benchmark::DoNotOptimize(table.count());
    }
}

} // namespace

BENCHMARK(BM_ParseLargePageWithoutMarkers)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ParseDemoPage)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_HarvestTwentyDemoPages)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_AppendEntriesWithViewAttached)->Arg(100000)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
