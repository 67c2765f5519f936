#include "TranscriptView.h"
#include "WhoisTranscript.h"

#include <QApplication>

#include <benchmark/benchmark.h>

namespace {

constexpr qsizetype MiB = 1024 * 1024;
constexpr qsizetype ChunkSize = 4 * 1024;

// A long whois answer: registry records of some seventy characters a line, ended by LF.
QByteArray LongAnswer(qsizetype size)
{
    const QByteArray record =
        "NetRange:       10.0.0.0 - 10.255.255.255\n"
        "CIDR:           10.0.0.0/8\n"
        "OrgName:        Internet Assigned Numbers Authority\n"
        "Comment:        These addresses are in use by many millions of independently operated networks.\n\n";
    return record.repeated(size / record.size() + 1).left(size);
}

void TranscriptOfALongAnswer(benchmark::State& state)
{
    const QByteArray answer = LongAnswer(state.range(0) * MiB);
    for (auto _ : state) {
        WhoisTranscript transcript;
        for (qsizetype at = 0; at < answer.size(); at += ChunkSize)
            benchmark::DoNotOptimize(transcript.appendAnswer(QByteArrayView(answer).sliced(at, ChunkSize)));
        benchmark::DoNotOptimize(transcript.text().size());
    }
    state.SetBytesProcessed(state.iterations() * answer.size());
}
// 10 MiB is the case to judge; 5 MiB shows that the time grows linearly with the answer.
BENCHMARK(TranscriptOfALongAnswer)->Arg(5)->Arg(10)->Unit(benchmark::kMillisecond);

// The window's path: the transcript and its view, shown, each chunk followed by a pass of the
// event loop as when it arrives from the socket, and the view painted once the answer is in.
void ViewOfALongAnswer(benchmark::State& state)
{
    const QByteArray answer = LongAnswer(state.range(0) * MiB);
    for (auto _ : state) {
        WhoisTranscript transcript;
        TranscriptView view;
        view.resize(409, 193); // the whois window's text box at 100 % scale
        view.show();
        for (qsizetype at = 0; at < answer.size(); at += ChunkSize) {
            view.appendPiece(transcript.appendAnswer(QByteArrayView(answer).sliced(at, ChunkSize)));
            QCoreApplication::processEvents();
        }
        view.showPending();
        view.grab();
        benchmark::DoNotOptimize(view.document()->characterCount());
    }
    state.SetBytesProcessed(state.iterations() * answer.size());
}
BENCHMARK(ViewOfALongAnswer)->Arg(5)->Arg(10)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
