#pragma once

#include "JudgePage.h"

#include <QObject>
#include <QTcpServer>
#include <QUrl>

#include <chrono>

class QTcpSocket;

// What a judge allows one client and all of them, so that a slow or hostile client never holds it.
struct JudgeLimits
{
    qsizetype requestCap = qsizetype(16) * 1024; // the request line and header; longer: 431
    int clients = 256; // at once; one more is answered 503 and closed
    std::chrono::milliseconds timeout{10000}; // from the connection to the answer taken; then closed
};

// A proxy judge: answers every GET with the page of the request it received (JudgePageText) as
// text/plain, and closes the connection; other methods get 405, a malformed request 400.
class JudgeServer final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(JudgeServer)

public:
    explicit JudgeServer(JudgeLimits limits = {}, QObject* parent = nullptr);

    // Port 0 takes a free port; url() tells which.
    bool listen(const QHostAddress& address, quint16 port);
    QString errorString() const { return m_server.errorString(); }
    // "http://HOST:PORT/", an IPv6 host in brackets.
    QUrl url() const;

Q_SIGNALS:
    // Each answer given; for a request that could not be read, only the client's address and port are set.
    void answered(const HttpRequest& request, int status);

private:
    struct Client;

    static constexpr std::chrono::milliseconds AcceptRetry{100};

    void accept();
    void read(QTcpSocket& socket, Client& client);
    void answer(QTcpSocket& socket, const HttpRequest& request, int status);

    JudgeLimits m_limits;
    QTcpServer m_server;
    int m_clients = 0;
};
