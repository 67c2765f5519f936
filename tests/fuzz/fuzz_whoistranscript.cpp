// A whois answer cut into chunks at arbitrary boundaries, as a server's packets may cut it,
// through the transcript. The chunk lengths come from the end of the input, the answer's bytes
// from its front.
//
// Checked: chunk by chunk gives the same transcript as the whole answer at once, whatever the
// cuts (a UTF-8 character or a CR LF split between chunks included); the pieces handed out add
// up to the transcript; every LF is shown as CR LF; an answer in valid UTF-8 reads as UTF-8.

#include "FuzzCheck.h"
#include "WhoisTranscript.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <string>
#include <vector>

using namespace Qt::StringLiterals;

namespace {

const QString EndLine = u"\r\n*** End of whois."_s;

bool EveryLineFeedAfterCarriageReturn(const QString& text)
{
    for (qsizetype at = text.indexOf(u'\n'); at >= 0; at = text.indexOf(u'\n', at + 1)) {
        if (at == 0 || text[at - 1] != u'\r')
            return false;
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    constexpr std::size_t LongestChunk = 64;
    FuzzedDataProvider provider(data, size);
    std::vector<std::string> chunks;
    std::string answer;
    while (provider.remaining_bytes() > 0) {
        chunks.push_back(provider.ConsumeBytesAsString(provider.ConsumeIntegralInRange<std::size_t>(0, LongestChunk)));
        answer += chunks.back();
    }

    WhoisTranscript chunked;
    QString pieces;
    for (const std::string& chunk : chunks)
        pieces += chunked.appendAnswer(QByteArrayView(chunk.data(), static_cast<qsizetype>(chunk.size())));
    pieces += chunked.appendStatus(EndLine);

    WhoisTranscript whole;
    const QByteArrayView answerBytes(answer.data(), static_cast<qsizetype>(answer.size()));
    whole.appendAnswer(answerBytes);
    whole.appendStatus(EndLine);

    FUZZ_CHECK(chunked.text() == whole.text());
    FUZZ_CHECK(pieces == chunked.text());
    FUZZ_CHECK(EveryLineFeedAfterCarriageReturn(whole.text()));
    if (answerBytes.isValidUtf8())
        FUZZ_CHECK(whole.text() == QString::fromUtf8(answerBytes).replace(u'\n', u"\r\n"_s) + EndLine);
    return 0;
}
