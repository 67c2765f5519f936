#pragma once

#include <QString>
#include <QUrl>

class QIODevice;

struct FetchResult
{
    bool ok = false;
    QString error; // why the fetch failed; empty when it succeeded
    int status = 0; // the HTTP status the body came with
};

// Fetches one document with an HTTP GET and returns when it has arrived or failed. Every
// waiting event is handled meanwhile, user input included: the window stays usable, and a
// handler may cancel the fetch.
class PageFetcher
{
public:
    virtual ~PageFetcher() = default;

    // Streams the body into the sink as it arrives. A body that came with an HTTP error
    // status is a body like any other.
    virtual FetchResult fetch(const QUrl& address, QIODevice& sink) = 0;
    // Abandons a transfer that is still pending; nothing happens when none is.
    virtual void cancel() = 0;
};
