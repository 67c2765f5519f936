#include "SelectedProxyText.h"

#include <QStringBuilder>

using namespace Qt::StringLiterals;

QString SelectedProxyText(const std::optional<ProxyEntry>& entry)
{
    if (!entry)
        return {};
    return u"Proxy IP: "_s % entry->ipAddress % u"\r\nProxy Port: "_s % entry->port % u"\r\nType: "_s % entry->type
        % u"\r\nCountry: "_s % entry->country % u"\r\nLast Test: "_s % entry->lastTest;
}
