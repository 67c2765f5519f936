#pragma once

#include "PageParser.h"

#include <QString>
#include <QUrl>

#include <optional>

class EventYielder;
class HarvestControls;
class MessagePrompter;
class PageFetcher;
class ProxyTable;

// A harvest run: fetches consecutive pages of the proxy-list site one after another and fills
// the proxy table from them. It runs on the UI thread as one long call; window events are
// handled while a page is parsed, so a cancel can be asked for at any time and is honoured at
// the next page boundary.
class HarvestRun final
{
    Q_DISABLE_COPY_MOVE(HarvestRun)

public:
    static constexpr auto DefaultSiteHost = "proxylist.varnholt.example";
    static constexpr auto StartCaption = "&Get List!";
    static constexpr auto CancelCaption = "&Cancel";

    struct Services
    {
        PageFetcher& fetcher;
        EventYielder& yielder;
        MessagePrompter& prompter;
    };

    HarvestRun(HarvestControls& controls, ProxyTable& table, Services services, QString workFolder,
               QString siteAuthority = QString::fromLatin1(DefaultSiteHost));

    // The start/cancel button: starts a run and returns when it has ended, or, while a run is
    // active, asks it to stop and returns at once.
    void Command1_Click();

    // The program is ending: the run stops where it stands, without finishing its page.
    void abandon();

    bool isActive() const { return m_active; }
    bool cancelRequested() const { return m_cancelRequested; }
    QUrl listAddress(int offset) const;

    // Why the last run ended on a failure, which the window passes over in silence; a front
    // end that can speak up reads it here. Nothing when the last run did not fail.
    struct Failure
    {
        bool fetch = false; // a page could not be fetched, rather than stored or counted
        QString reason;
    };
    const std::optional<Failure>& lastFailure() const { return m_lastFailure; }

private:
    enum class Ending { Completed, Failed, Abandoned };

    void clampPageCount();
    Ending RetrievePages();
    Ending retrievePage(int offset, int pageNumber, double pageCount);
    void showVerdict(Ending ending);
    Ending fail(bool fetch, QString reason);

    HarvestControls& m_controls;
    ProxyTable& m_table;
    Services m_services;
    PageParser m_parser;
    QString m_siteAuthority;
    bool m_cancelRequested = false;
    bool m_active = false;
    bool m_abandoned = false;
    std::optional<Failure> m_lastFailure;
};
