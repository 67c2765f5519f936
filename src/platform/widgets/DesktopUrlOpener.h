#pragma once

#include "UrlOpener.h"

// Opens the address with the desktop's handler for it, usually the user's browser.
class DesktopUrlOpener final : public UrlOpener
{
public:
    void openUrl(const QString& address) override;
};
