// A proxy's address text through the ping command: an echo goes out exactly when the text is four
// dotted parts of ASCII digits, each from 0 to 255, and to that address without leading zeros; any
// other text is told dead with "Bad Destination", named as it was given.

#include "../ping/ScriptedPlatform.h"
#include "FuzzCheck.h"
#include "PingCommand.h"

#include <QRegularExpression>

#include <algorithm>
#include <cstdint>

using namespace Qt::StringLiterals;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QString text = QString::fromUtf8(QByteArrayView(data, static_cast<qsizetype>(size)));
    static const QRegularExpression quad(
        QRegularExpression::anchoredPattern(u"0*([0-9]{1,3})\\.0*([0-9]{1,3})\\.0*([0-9]{1,3})\\.0*([0-9]{1,3})"_s));
    const QStringList parts = quad.match(text).capturedTexts().mid(1);
    const bool octets = std::ranges::all_of(parts, [](const QString& part) { return part.toInt() <= 255; });
    const QString sentTo = parts.size() == 4 && octets ? parts.join(u'.') : QString();
    ScriptedPlatform system;
    const PingVerdict verdict = PingCommand(system.platform()).ping(text);
    FUZZ_CHECK(system.log == PingLog(sentTo));
    FUZZ_CHECK(verdict.alive == !sentTo.isEmpty());
    FUZZ_CHECK(!sentTo.isEmpty()
               || verdict.message == u"The IP "_s + text + u" Is Dead.\r\nDelay: 0 ms.\r\nStatus: Bad Destination"_s);
    return 0;
}
