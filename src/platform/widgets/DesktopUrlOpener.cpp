#include "DesktopUrlOpener.h"

#include <QDesktopServices>
#include <QUrl>

void DesktopUrlOpener::openUrl(const QString& address)
{
    // Whether a browser took it is not reported to the user.
    QDesktopServices::openUrl(QUrl(address));
}
