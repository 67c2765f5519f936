// A whois answer cut anywhere gives the whole one's transcript, piece by piece; valid UTF-8 reads as such.

#include "FuzzCheck.h"
#include "WhoisTranscript.h"

#include <algorithm>

using namespace Qt::StringLiterals;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArrayView input(data, qsizetype(size));
    WhoisTranscript chunked;
    QString pieces;
    QByteArray answer;
    // Each chunk is a length byte, read as 0 to 64, then that many bytes of the answer.
    for (qsizetype at = 0; at < input.size();) {
        const qsizetype length = std::min<qsizetype>(std::uint8_t(input[at]) % 65, input.size() - at - 1);
        const QByteArrayView chunk = input.sliced(at + 1, length);
        pieces += chunked.appendAnswer(chunk);
        answer += chunk;
        at += 1 + length;
    }
    pieces += chunked.appendStatus(u"*** End"_s);
    WhoisTranscript whole;
    whole.appendAnswer(answer);
    whole.appendStatus(u"*** End"_s);

    FUZZ_CHECK(chunked.text() == whole.text() && pieces == whole.text());
    if (QByteArrayView(answer).isValidUtf8())
        FUZZ_CHECK(whole.text() == QString::fromUtf8(answer).replace(u'\n', u"\r\n"_s) + u"*** End"_s);
    return 0;
}
