#include "JudgeServer.h"

#include <QTcpSocket>
#include <QTimer>

#include <memory>

using namespace Qt::StringLiterals;

namespace {

QByteArray ReasonPhrase(int status)
{
    switch (status) {
    case 200:
        return "OK";
    case 400:
        return "Bad Request";
    case 405:
        return "Method Not Allowed";
    case 431:
        return "Request Header Fields Too Large";
    case 503:
        return "Service Unavailable";
    default:
        return {};
    }
}

// Where a request's head ends, just past the empty line after its header, looking from `from`
// on; nothing while it has not come.
std::optional<qsizetype> HeadEnd(const QByteArray& head, qsizetype from)
{
    for (qsizetype at = head.indexOf('\n', from); at >= 0; at = head.indexOf('\n', at + 1)) {
        const qsizetype next = at + 1 < head.size() && head[at + 1] == '\r' ? at + 2 : at + 1;
        if (next < head.size() && head[next] == '\n')
            return next + 1;
    }
    return std::nullopt;
}

} // namespace

struct JudgeServer::Client
{
    QByteArray head;
    bool answered = false; // what the client sends after that is read and dropped
};

JudgeServer::JudgeServer(JudgeLimits limits, QObject* parent)
    : QObject(parent)
    , m_limits(limits)
{
    connect(&m_server, &QTcpServer::newConnection, this, &JudgeServer::accept);
    // Out of descriptors or memory, the server stops accepting for good; the judge goes on once
    // clients have gone and freed some.
    connect(&m_server, &QTcpServer::acceptError, this,
            [this] { QTimer::singleShot(AcceptRetry, &m_server, &QTcpServer::resumeAccepting); });
}

bool JudgeServer::listen(const QHostAddress& address, quint16 port)
{
    return m_server.listen(address, port);
}

QUrl JudgeServer::url() const
{
    QUrl url;
    url.setScheme(u"http"_s);
    url.setHost(m_server.serverAddress().toString());
    url.setPort(m_server.serverPort());
    url.setPath(u"/"_s);
    return url;
}

void JudgeServer::accept()
{
    while (QTcpSocket* socket = m_server.nextPendingConnection()) {
        // The judge's child, not the server's: the server goes first when the judge is destroyed,
        // and sockets ending with it would count down clients of a judge half gone.
        socket->setParent(this);
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        QTimer::singleShot(m_limits.timeout, socket, [socket] {
            socket->abort();
            socket->deleteLater();
        });
        const auto client = std::make_shared<Client>();
        connect(socket, &QTcpSocket::readyRead, this, [this, socket, client] { read(*socket, *client); });
        if (m_clients >= m_limits.clients) {
            client->answered = true;
            answer(*socket, {.remoteAddress = socket->peerAddress(), .remotePort = socket->peerPort()}, 503);
            continue;
        }
        ++m_clients;
        connect(socket, &QObject::destroyed, this, [this] { --m_clients; });
    }
}

void JudgeServer::read(QTcpSocket& socket, Client& client)
{
    if (client.answered) {
        socket.skip(socket.bytesAvailable());
        return;
    }
    const qsizetype searched = std::max(client.head.size() - 2, qsizetype(0)); // an empty line may straddle reads
    client.head += socket.read(m_limits.requestCap + 1 - client.head.size());
    const std::optional<qsizetype> end = HeadEnd(client.head, searched);
    if (!end && client.head.size() <= m_limits.requestCap)
        return;
    client.answered = true;
    const HttpRequest peer{.remoteAddress = socket.peerAddress(), .remotePort = socket.peerPort()};
    if (!end || *end > m_limits.requestCap)
        return answer(socket, peer, 431);
    std::optional<HttpRequest> request = ReadHttpRequest(QByteArrayView(client.head).first(*end));
    if (!request)
        return answer(socket, peer, 400);
    request->remoteAddress = peer.remoteAddress;
    request->remotePort = peer.remotePort;
    answer(socket, *request, request->method == "GET" ? 200 : 405);
}

void JudgeServer::answer(QTcpSocket& socket, const HttpRequest& request, int status)
{
    const QByteArray statusText = QByteArray::number(status) + ' ' + ReasonPhrase(status);
    const QByteArray body = status == 200 ? JudgePageText(request) : statusText + '\n';
    socket.write("HTTP/1.1 " + statusText + "\r\nContent-Type: text/plain; charset=utf-8\r\nContent-Length: "
                 + QByteArray::number(body.size()) + (status == 405 ? "\r\nAllow: GET" : "")
                 + "\r\nCache-Control: no-store\r\nConnection: close\r\n\r\n" + body);
    // Unread bytes at the close would reset the connection, and the client might lose the answer.
    socket.skip(socket.bytesAvailable());
    socket.disconnectFromHost();
    Q_EMIT answered(request, status);
}
