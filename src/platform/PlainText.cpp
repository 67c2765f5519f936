#include "PlainText.h"

#include <algorithm>

namespace {

constexpr char16_t ControlPictures = 0x2400;
constexpr char16_t DeletePicture = 0x2421;
constexpr char16_t Delete = 0x7f;
constexpr char16_t LastC1 = 0x9f;

bool KeptAsIs(QChar c)
{
    return c == u'\t' || c == u'\r' || c == u'\n';
}

} // namespace

bool IsControlCharacter(QChar c)
{
    return c.unicode() < 0x20 || (c.unicode() >= Delete && c.unicode() <= LastC1);
}

bool HasControlCharacter(QStringView text, QStringView allowed)
{
    return std::any_of(text.begin(), text.end(),
                       [allowed](QChar c) { return IsControlCharacter(c) && !allowed.contains(c); });
}

QString DisplayText(const QString& text)
{
    QString shown = text;
    for (QChar& c : shown) {
        if (!IsControlCharacter(c) || KeptAsIs(c))
            continue;
        const char16_t u = c.unicode();
        c = u < 0x20      ? QChar(char16_t(ControlPictures + u))
            : u == Delete ? QChar(DeletePicture)
                          : QChar::ReplacementCharacter;
    }
    return shown;
}
