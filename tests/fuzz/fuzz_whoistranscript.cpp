// A whois answer cut anywhere gives the whole one's transcript, piece by piece; valid UTF-8 reads as such.

#include "FuzzCheck.h"
#include "WhoisTranscript.h"

#include <fuzzer/FuzzedDataProvider.h>

using namespace Qt::StringLiterals;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    FuzzedDataProvider provider(data, size);
    WhoisTranscript chunked;
    QString pieces;
    std::string answer;
    while (provider.remaining_bytes() > 0) {
        const std::string chunk = provider.ConsumeBytesAsString(provider.ConsumeIntegralInRange<std::size_t>(0, 64));
        pieces += chunked.appendAnswer(QByteArrayView(chunk));
        answer += chunk;
    }
    pieces += chunked.appendStatus(u"*** End"_s);
    WhoisTranscript whole;
    whole.appendAnswer(QByteArrayView(answer));
    whole.appendStatus(u"*** End"_s);

    FUZZ_CHECK(chunked.text() == whole.text() && pieces == whole.text());
    if (QByteArrayView(answer).isValidUtf8())
        FUZZ_CHECK(whole.text() == QString::fromUtf8(QByteArrayView(answer)).replace(u'\n', u"\r\n"_s) + u"*** End"_s);
    return 0;
}
