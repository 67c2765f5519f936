#pragma once

#include <QString>

class ProgressDisplay;

// What a harvest run reads and drives on its front end: the main window's start/cancel
// button, page-count box, received counter, the two bars and the list actions.
class HarvestControls
{
public:
    virtual ~HarvestControls() = default;

    virtual QString startCaption() const = 0;
    virtual void setStartCaption(const QString& caption) = 0;
    virtual QString pageCountText() const = 0;
    virtual void setPageCountText(const QString& text) = 0;
    virtual void setReceivedText(const QString& text) = 0;
    virtual ProgressDisplay& pagesBar() = 0; // which page is being fetched
    virtual ProgressDisplay& pageBar() = 0; // how far the current page has been parsed
    virtual void setListActionsEnabled(bool enabled) = 0;
};
