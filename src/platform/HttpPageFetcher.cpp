#include "HttpPageFetcher.h"

#include <QEventLoop>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>

#include <memory>

namespace {

// What Qt may hold of a body before it is copied to the sink: once this much waits, Qt stops
// reading the socket, so a large page never sits in memory whole.
constexpr qint64 ReadBufferSize = qint64{256} * 1024;

// A reply whose only fault is the HTTP error status it carries: the server answered, so the
// body counts. Qt reports some failures of its own in the same range, a body that fails to
// inflate among them, but then the status is not an error.
bool IsHttpStatusError(const QNetworkReply& reply)
{
    const QNetworkReply::NetworkError error = reply.error();
    const bool contentError =
        error >= QNetworkReply::ContentAccessDenied && error <= QNetworkReply::UnknownContentError;
    const bool serverError = error >= QNetworkReply::InternalServerError && error <= QNetworkReply::UnknownServerError;
    constexpr int FirstErrorStatus = 400;
    return (contentError || serverError)
        && reply.attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt() >= FirstErrorStatus;
}

} // namespace

HttpPageFetcher::HttpPageFetcher(std::chrono::milliseconds requestTimeout, qint64 largestBody, QObject* parent)
    : QObject(parent)
    , m_requestTimeout(requestTimeout)
    , m_largestBody(largestBody)
{
}

FetchResult HttpPageFetcher::fetch(const QUrl& address, QIODevice& sink)
{
    m_received = 0;
    m_abort = Abort::None;

    QNetworkRequest request(address);
    // Qt's transfer time-out only bounds silence; the request time-out bounds the whole
    // request, so a server that drips a byte now and then cannot hold the run forever.
    QTimer deadline;
    deadline.setSingleShot(true);
    connect(&deadline, &QTimer::timeout, this, [this] { abortReply(Abort::TimedOut); });

    const std::unique_ptr<QNetworkReply> reply(m_manager.get(request));
    m_reply = reply.get();
    reply->setReadBufferSize(ReadBufferSize);
    QEventLoop loop;
    connect(reply.get(), &QNetworkReply::readyRead, this, [this, &sink] { copyAvailable(sink); });
    connect(reply.get(), &QNetworkReply::finished, &loop, &QEventLoop::quit);
    // A body that inflates past Qt's safety ratio (a gzip bomb) is reported as an error, but
    // Qt 6.4 never finishes the reply: the failure itself ends the wait.
    connect(reply.get(), &QNetworkReply::errorOccurred, &loop, [&loop, &reply] {
        if (!IsHttpStatusError(*reply))
            loop.quit();
    });
    deadline.start(m_requestTimeout);
    if (!reply->isFinished())
        loop.exec();
    copyAvailable(sink);
    m_reply.clear();

    FetchResult fetched = result();
    fetched.status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (m_abort == Abort::None && reply->error() != QNetworkReply::NoError && !IsHttpStatusError(*reply)) {
        fetched.ok = false;
        fetched.error = reply->errorString();
    }
    return fetched;
}

void HttpPageFetcher::cancel()
{
    if (m_reply)
        abortReply(Abort::Cancelled);
}

void HttpPageFetcher::copyAvailable(QIODevice& sink)
{
    if (!m_reply || m_abort != Abort::None)
        return;
    const QByteArray chunk = m_reply->readAll();
    m_received += chunk.size();
    if (m_received > m_largestBody) {
        abortReply(Abort::TooLarge);
        return;
    }
    if (sink.write(chunk) != chunk.size())
        abortReply(Abort::SinkFailed);
}

void HttpPageFetcher::abortReply(Abort reason)
{
    if (m_abort == Abort::None)
        m_abort = reason;
    if (m_reply)
        m_reply->abort();
}

FetchResult HttpPageFetcher::result() const
{
    switch (m_abort) {
    case Abort::None:
        return {true, QString(), 0};
    case Abort::TimedOut:
        return {false, tr("The request timed out."), 0};
    case Abort::TooLarge:
        return {false, tr("The page is larger than %1 bytes.").arg(m_largestBody), 0};
    case Abort::SinkFailed:
        return {false, tr("The page could not be stored."), 0};
    case Abort::Cancelled:
        return {false, tr("The transfer was cancelled."), 0};
    }
    return {};
}
