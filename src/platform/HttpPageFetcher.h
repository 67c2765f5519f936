#pragma once

#include "PageFetcher.h"

#include <QNetworkAccessManager>
#include <QPointer>

#include <chrono>

class QNetworkReply;

class HttpPageFetcher final : public QObject, public PageFetcher
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(HttpPageFetcher)

public:
    static constexpr std::chrono::milliseconds RequestTimeout{60000};
    static constexpr qint64 LargestBody = qint64{64} * 1024 * 1024;

    explicit HttpPageFetcher(std::chrono::milliseconds requestTimeout = RequestTimeout,
                             qint64 largestBody = LargestBody, QObject* parent = nullptr);

    FetchResult fetch(const QUrl& address, QIODevice& sink) override;
    void cancel() override;

private:
    enum class Abort { None, TimedOut, TooLarge, SinkFailed, Cancelled };

    void copyAvailable(QIODevice& sink);
    void abortReply(Abort reason);
    FetchResult result() const;

    QNetworkAccessManager m_manager;
    QPointer<QNetworkReply> m_reply;
    std::chrono::milliseconds m_requestTimeout;
    qint64 m_largestBody;
    qint64 m_received = 0;
    Abort m_abort = Abort::None;
};
