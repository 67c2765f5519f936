#pragma once

#include "HarvestControls.h"
#include "ProgressDisplay.h"

#include <functional>

class ProgressReporter;

// The harvest's controls without a window: the start caption and the page count are held
// here, the two bars and the counter go to the progress reporter. The pages bar moves on by
// one when a page is done, which is how the program learns of it; the list actions have no
// buttons to enable.
class CliHarvestControls final : public HarvestControls
{
public:
    CliHarvestControls(QString pageCountText, ProgressReporter& reporter, std::function<void()> pageDone);

    QString startCaption() const override { return m_startCaption; }
    void setStartCaption(const QString& caption) override { m_startCaption = caption; }
    QString pageCountText() const override { return m_pageCountText; }
    void setPageCountText(const QString& text) override { m_pageCountText = text; }
    void setReceivedText(const QString& text) override;
    ProgressDisplay& pagesBar() override { return m_pagesBar; }
    ProgressDisplay& pageBar() override { return m_pageBar; }
    void setListActionsEnabled(bool) override {}

private:
    class PagesBar final : public ProgressDisplay
    {
    public:
        PagesBar(ProgressReporter& reporter, std::function<void()> pageDone);
        int value() const override { return m_value; }
        void setValue(int value) override;
        void setMaximum(int) override {}
        void setCaption(const QString& caption) override;

    private:
        ProgressReporter& m_reporter;
        std::function<void()> m_pageDone;
        int m_value = 0;
    };

    class PageBar final : public ProgressDisplay
    {
    public:
        explicit PageBar(ProgressReporter& reporter);
        int value() const override { return m_value; }
        void setValue(int value) override;
        void setMaximum(int maximum) override;
        void setCaption(const QString&) override {}

    private:
        ProgressReporter& m_reporter;
        int m_value = 0;
        int m_maximum = 0;
    };

    ProgressReporter& m_reporter;
    QString m_startCaption;
    QString m_pageCountText;
    PagesBar m_pagesBar;
    PageBar m_pageBar;
};
