#pragma once

#include <QString>
#include <QUrl>

class QIODevice;

struct FetchResult
{
    bool ok = false;
    QString error; // why the fetch failed; empty when it succeeded
    qint64 bytes = 0; // body bytes written to the sink
};

// Fetches one document with an HTTP GET and blocks until it has arrived or failed. The window
// keeps repainting meanwhile, but no user input is handled until the fetch returns.
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
