#pragma once

#include <QByteArray>
#include <QByteArrayList>
#include <QHostAddress>
#include <QTcpServer>

#include <chrono>

class QTcpSocket;

// A stand-in for the proxy-list web site, served on loopback: the same page layout the parser
// relies on, with made-up proxies that are the same for the same seed. The first pages hold a
// hundred proxies each; the pages after them hold none, as the real list ends.
class DemoListSite final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(DemoListSite)

public:
    struct Options
    {
        quint32 seed = 2004;
        int pagesWithRows = 30;
        std::chrono::milliseconds pageDelay{0}; // lets the bars be watched
    };

    static constexpr auto ListPath = "/index.pl/proxy_list";
    static constexpr int RowsPerPage = 100;

    explicit DemoListSite(Options options, QObject* parent = nullptr);

    bool listen(const QHostAddress& address = QHostAddress::LocalHost, quint16 port = 0);
    quint16 serverPort() const { return m_server.serverPort(); }
    QString errorString() const { return m_server.errorString(); }
    QString authority() const { return QStringLiteral("127.0.0.1:") + QString::number(serverPort()); }
    // The request targets asked for so far, in order, answered or not yet.
    const QByteArrayList& targetsRequested() const { return m_targetsRequested; }

    // The page body at the given list offset, lines ended by LF as a Unix web server sends them.
    QByteArray page(int offset) const;

private:
    void onNewConnection();
    void onReadyRead(QTcpSocket* socket);
    void respond(QTcpSocket* socket, const QByteArray& target) const;

    QTcpServer m_server;
    Options m_options;
    QByteArrayList m_targetsRequested;
};
