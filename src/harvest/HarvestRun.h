#pragma once

#include "HarvestEvents.h"
#include "PageParser.h"

#include <QObject>
#include <QString>
#include <QUrl>

#include <functional>

class EventYielder;
class PageFetcher;
class ProxyTable;

// A harvest run: fetches consecutive pages of the proxy-list site one after another and fills
// the proxy table from them, telling what happens as it goes. It runs on the UI thread as one
// long call; window events are handled while a page is fetched or parsed, so a cancel can be
// asked for at any moment and is honoured at the next page boundary.
class HarvestRun final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(HarvestRun)

public:
    static constexpr auto DefaultSiteHost = "proxylist.varnholt.example";

    struct Services
    {
        PageFetcher& fetcher;
        EventYielder& yielder;
    };

    // The page count as typed, read again before every page.
    using PageCountSource = std::function<QString()>;

    HarvestRun(ProxyTable& table, Services services, QString workFolder,
               QString siteAuthority = QString::fromLatin1(DefaultSiteHost), QObject* parent = nullptr);

    // Empties the table and harvests until the page count is reached, a cancel is honoured, a
    // step fails or the run is abandoned; returns then, after finished(). Call only while no
    // run is active.
    HarvestEnding start(const PageCountSource& pageCount);
    // The page in progress is completed and its rows stay; no further page is asked for.
    void requestCancel();
    // The program is ending: the run stops where it stands, without finishing its page.
    void abandon();

    bool isActive() const { return m_active; }
    bool cancelRequested() const { return m_cancelRequested; }

Q_SIGNALS:
    void started(); // the table has been emptied
    void pageStarted(int number, int pageCount, const QString& pageCountText, const QUrl& address);
    void parseStageBeginning();
    void parseProgressed(ParseStage stage, int value, int maximum);
    void entryAppended(int rowCount);
    void pageEnded(int pagesDone);
    // The reason says why a run failed; it is empty for every other ending.
    void finished(HarvestEnding ending, const QString& reason);

private:
    struct Ending
    {
        HarvestEnding ending = HarvestEnding::Completed;
        QString reason;
    };

    QUrl listAddress(int offset) const;
    Ending RetrievePages(const PageCountSource& pageCount);
    Ending harvestPage(int offset, int number, const QString& pageCountText, double pageCount);

    ProxyTable& m_table;
    Services m_services;
    PageParser m_parser;
    QString m_siteAuthority;
    bool m_cancelRequested = false;
    bool m_active = false;
    bool m_abandoned = false;
};
