#pragma once

#include <QString>

// Hands a web address to the user's browser. Whether a browser is there to take it is the
// desktop's matter; nothing is reported back.
class UrlOpener
{
public:
    virtual ~UrlOpener() = default;
    virtual void openUrl(const QString& address) = 0;
};
