#pragma once

#include "DialogRunner.h"

#include <QStringList>

#include <functional>

// Takes the place of a window's own event loop: keeps the caption of every window that was to
// be shown modally and returns at once, after letting the test look at the window.
class RecordingDialogRunner final : public DialogRunner
{
public:
    void runModal(QDialog& window) override
    {
        captions.append(window.windowTitle());
        if (onShow)
            onShow(window);
    }

    QStringList captions;
    std::function<void(QDialog&)> onShow;
};
