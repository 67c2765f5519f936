#pragma once

#include "PageFetcher.h"

#include <functional>

// Passes every fetch on to the real fetcher, telling first which address the run asks for:
// that is where the program learns which page is under way.
class WatchedPageFetcher final : public PageFetcher
{
public:
    using Watcher = std::function<void(const QUrl& address)>;

    WatchedPageFetcher(PageFetcher& fetcher, Watcher watcher)
        : m_fetcher(fetcher)
        , m_watcher(std::move(watcher))
    {
    }

    FetchResult fetch(const QUrl& address, QIODevice& sink) override
    {
        m_watcher(address);
        return m_fetcher.fetch(address, sink);
    }

    void cancel() override { m_fetcher.cancel(); }

private:
    PageFetcher& m_fetcher;
    Watcher m_watcher;
};
