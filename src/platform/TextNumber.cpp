#include "TextNumber.h"

#include <QLocale>

#include <cmath>
#include <limits>

std::optional<double> TextToNumber(const QString& text)
{
    const QString trimmed = text.trimmed();
    bool ok = false;
    double value = QLocale().toDouble(trimmed, &ok);
    if (!ok)
        value = QLocale::c().toDouble(trimmed, &ok);
    if (!ok || !std::isfinite(value))
        return std::nullopt;
    return value;
}

std::optional<int> WholeNumberFromText(const QString& text, int least, int most)
{
    const std::optional<double> number = TextToNumber(text);
    // Written so that a NaN fails every comparison and is refused.
    if (!number || !(*number >= least && *number <= most) || *number != std::floor(*number))
        return std::nullopt;
    return int(*number);
}

std::optional<int> RoundHalfToEven(double value)
{
    const double rounded = std::nearbyint(value); // the default rounding mode is to nearest, ties to even
    if (!(rounded >= std::numeric_limits<int>::min() && rounded <= std::numeric_limits<int>::max()))
        return std::nullopt;
    return static_cast<int>(rounded);
}
