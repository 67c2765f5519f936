// A whois answer cut into chunks anywhere, their lengths from the end of the input: the transcript
// is the one of the whole answer, the pieces handed out add up to it, and valid UTF-8 reads as such.

#include "FuzzCheck.h"
#include "WhoisTranscript.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <string>

using namespace Qt::StringLiterals;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    FuzzedDataProvider provider(data, size);
    WhoisTranscript chunked;
    QString pieces;
    std::string answer;
    while (provider.remaining_bytes() > 0) {
        const std::string chunk = provider.ConsumeBytesAsString(provider.ConsumeIntegralInRange<std::size_t>(0, 64));
        pieces += chunked.appendAnswer(QByteArrayView(chunk.data(), static_cast<qsizetype>(chunk.size())));
        answer += chunk;
    }
    pieces += chunked.appendStatus(u"*** End"_s);
    WhoisTranscript whole;
    const QByteArrayView answerBytes(answer.data(), static_cast<qsizetype>(answer.size()));
    whole.appendAnswer(answerBytes);
    whole.appendStatus(u"*** End"_s);

    FUZZ_CHECK(chunked.text() == whole.text() && pieces == whole.text());
    if (answerBytes.isValidUtf8())
        FUZZ_CHECK(whole.text() == QString::fromUtf8(answerBytes).replace(u'\n', u"\r\n"_s) + u"*** End"_s);
    return 0;
}
