#include "ListFileWriter.h"
#include "ProxyTable.h"

#include <QFile>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

using namespace Qt::StringLiterals;

namespace {

constexpr int Rows = 100'000;

void FillTable(ProxyTable& table)
{
    for (int row = 0; row < Rows; ++row) {
        table.append({u"192.168.%1.%2"_s.arg(row / 256 % 256).arg(row % 256), QString::number(1024 + row % 60000),
                      u"anonymous"_s, u"United Kingdom"_s, u"2004-04-29 10:00:00"_s});
    }
}

// The whole save of a large table: build the lines and append them to a file that did not exist.
void BM_AppendListFile(benchmark::State& state, ListFormat format)
{
    ProxyTable table;
    FillTable(table);
    const QTemporaryDir dir;
    const QString path = dir.filePath(u"results.txt"_s);
    const ListFileWriter writer(std::move(format));
    for (auto _ : state) {
        if (!writer.append(path, table).ok)
            state.SkipWithError("the list file could not be written");
        state.PauseTiming();
        QFile::remove(path);
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * Rows);
}

} // namespace

BENCHMARK_CAPTURE(BM_AppendListFile, address_and_port, ListFormat{ListFormat::Layout::AddressAndPort, u":"_s})
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_AppendListFile, all_data, ListFormat{ListFormat::Layout::AllData, {}})
    ->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
