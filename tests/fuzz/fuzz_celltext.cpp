// One page line through CellText and IsRowMarker, each checked against a plain reading of its rule.

#include "FuzzCheck.h"
#include "PageParser.h"
#include "PageRules.h"

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArrayView line(data, static_cast<qsizetype>(size));
    FUZZ_CHECK(CellText(line) == CellOf(QString::fromLatin1(line)).toLatin1());
    FUZZ_CHECK(IsRowMarker(line) == IsMarkerText(QString::fromLatin1(line)));
    return 0;
}
