#pragma once

#include "SaveFilePrompter.h"
#include "UrlOpener.h"

#include <QStringList>

// A file question the user always dismisses.
class DismissingFilePrompter final : public SaveFilePrompter
{
public:
    std::optional<QString> askSaveFileName(const SaveFileRequest&) override { return std::nullopt; }
};

// Keeps the addresses that would have gone to the browser.
class RecordingUrlOpener final : public UrlOpener
{
public:
    void openUrl(const QString& address) override { opened.append(address); }
    QStringList opened;
};
