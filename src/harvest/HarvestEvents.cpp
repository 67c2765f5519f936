#include "HarvestEvents.h"

#include "TextNumber.h"

using namespace Qt::StringLiterals;

namespace {

constexpr int FewestPages = 1;
constexpr int MostPages = 20;

} // namespace

QString PageCaption(int number, const QString& pageCountText)
{
    return u"Retrieving Page "_s + QString::number(number) + u'/' + pageCountText + u"..."_s;
}

QString StageCaption(ParseStage stage)
{
    switch (stage) {
    case ParseStage::Parsing:
        return u"Parsing Data..."_s;
    case ParseStage::Extracting:
        return u"Extracting Proxys..."_s;
    case ParseStage::Complete:
        return u"Current Page Extraction Complete."_s;
    }
    return {};
}

QString EndingCaption(HarvestEnding ending)
{
    switch (ending) {
    case HarvestEnding::Completed:
        return u"Extraction Completed."_s;
    case HarvestEnding::Stopped:
        return u"Stopped."_s;
    case HarvestEnding::FetchFailed:
    case HarvestEnding::Failed:
    case HarvestEnding::Abandoned:
        break;
    }
    return {};
}

// The count is read once to raise it and once more to lower it, so a raised count is never
// lowered; only the start clamps: a count typed during the run takes effect unclamped.
QString ClampedPageCount(const QString& typed)
{
    const std::optional<double> count = TextToNumber(typed);
    if (!count || *count < FewestPages)
        return QString::number(FewestPages);
    if (*count > MostPages)
        return QString::number(MostPages);
    return typed;
}
