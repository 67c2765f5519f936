#pragma once

#include "HarvestControls.h"
#include "ProgressDisplay.h"

#include <QStringList>

#include <functional>

// A progress bar without a window: keeps its state and every caption it was given.
class RecordingProgress final : public ProgressDisplay
{
public:
    int value() const override { return m_value; }
    void setValue(int value) override { m_value = value; }
    void setMaximum(int maximum) override { m_maximum = maximum; }
    void setCaption(const QString& caption) override
    {
        m_caption = caption;
        captions.append(caption);
        if (onCaption)
            onCaption(caption);
    }

    int maximum() const { return m_maximum; }
    QString caption() const { return m_caption; }

    QStringList captions;
    std::function<void(const QString&)> onCaption; // lets a test act in the middle of a run

private:
    int m_value = 0;
    int m_maximum = 100;
    QString m_caption = QStringLiteral("Idle");
};

// The main window's controls of a harvest run, without the window.
class FakeHarvestControls final : public HarvestControls
{
public:
    QString startCaption() const override { return start; }
    void setStartCaption(const QString& caption) override { start = caption; }
    QString pageCountText() const override { return pageCount; }
    void setPageCountText(const QString& text) override { pageCount = text; }
    void setReceivedText(const QString& text) override { received = text; }
    ProgressDisplay& pagesBar() override { return pages; }
    ProgressDisplay& pageBar() override { return page; }
    void setListActionsEnabled(bool enabled) override { listActionsEnabled = enabled; }

    QString start = QStringLiteral("&Get List!");
    QString pageCount = QStringLiteral("20");
    QString received = QStringLiteral("0");
    bool listActionsEnabled = false;
    RecordingProgress pages;
    RecordingProgress page;
};
