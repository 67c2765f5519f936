#include "PlainText.h"

namespace {

constexpr char16_t ControlPictures = 0x2400;
constexpr char16_t DeletePicture = 0x2421;

bool KeptAsIs(char16_t c)
{
    return c == u'\t' || c == u'\r' || c == u'\n';
}

} // namespace

QString DisplayText(const QString& text)
{
    QString shown = text;
    for (QChar& c : shown) {
        const char16_t u = c.unicode();
        if (u < 0x20 && !KeptAsIs(u))
            c = QChar(char16_t(ControlPictures + u));
        else if (u == 0x7f)
            c = QChar(DeletePicture);
    }
    return shown;
}
