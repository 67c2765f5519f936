#include "CliHarvestControls.h"

#include "HarvestRun.h"
#include "ProgressReporter.h"

CliHarvestControls::CliHarvestControls(QString pageCountText, ProgressReporter& reporter,
                                       std::function<void()> pageDone)
    : m_reporter(reporter)
    , m_startCaption(QString::fromLatin1(HarvestRun::StartCaption))
    , m_pageCountText(std::move(pageCountText))
    , m_pagesBar(reporter, std::move(pageDone))
    , m_pageBar(reporter)
{
}

void CliHarvestControls::setReceivedText(const QString& text)
{
    m_reporter.setRows(text);
}

CliHarvestControls::PagesBar::PagesBar(ProgressReporter& reporter, std::function<void()> pageDone)
    : m_reporter(reporter)
    , m_pageDone(std::move(pageDone))
{
}

void CliHarvestControls::PagesBar::setValue(int value)
{
    const bool movedOn = value > m_value;
    m_value = value;
    if (movedOn)
        m_pageDone();
}

void CliHarvestControls::PagesBar::setCaption(const QString& caption)
{
    m_reporter.setCaption(caption);
}

CliHarvestControls::PageBar::PageBar(ProgressReporter& reporter)
    : m_reporter(reporter)
{
}

void CliHarvestControls::PageBar::setValue(int value)
{
    m_value = value;
    m_reporter.setPageProgress(m_value, m_maximum);
}

void CliHarvestControls::PageBar::setMaximum(int maximum)
{
    m_maximum = maximum;
    m_reporter.setPageProgress(m_value, m_maximum);
}
