#include "DemoListSite.h"

#include <QTcpSocket>
#include <QTimer>
#include <QUrlQuery>

#include <array>
#include <random>

using namespace Qt::StringLiterals;

namespace {

constexpr int HeaderRows = 4;
constexpr qsizetype LongestRequestHead = qsizetype{16} * 1024;

constexpr std::array Types{"HTTP", "HTTPS", "SOCKS4", "SOCKS5", "HTTP Anonymous", "HTTP High Anonymity"};
constexpr std::array Countries{
    "Italy",       "Germany", "Brazil", "Japan",        "Canada", "France", "Korea, Republic of",
    "Netherlands", "Spain",   "Sweden", "United States"};
constexpr std::array Ports{80, 81, 3128, 8000, 8080, 8888, 1080, 6588};

QByteArray Row(const QByteArray& cell)
{
    return "<td>" + cell + "</td>\n";
}

// Proxies live in 127.0.0.0/8, so pinging a demo row reaches this machine and nothing else.
QByteArray ProxyRow(std::mt19937& random, int index)
{
    const auto pick = [&random](auto const& choices) { return choices[random() % choices.size()]; };
    const QByteArray address = index == 0 ? "127.0.0.1"
                                          : "127." + QByteArray::number(random() % 256) + '.'
            + QByteArray::number(random() % 256) + '.' + QByteArray::number(1 + random() % 254);
    const QByteArray day = QByteArray::number(1 + random() % 28).rightJustified(2, '0');
    QByteArray row = "<tr align=\"center\">\n";
    row += Row(address);
    row += Row(QByteArray::number(pick(Ports)));
    row += Row(pick(Types));
    row += "<td><a href=\"/index.pl/whois?ip=" + address + "\">whois</a></td>\n";
    row += Row(pick(Countries));
    row += Row(day + "-04-2004");
    row += "</tr>\n";
    return row;
}

QByteArray Response(const QByteArray& status, const QByteArray& body)
{
    return "HTTP/1.1 " + status + "\r\nContent-Type: text/html; charset=utf-8\r\nContent-Length: "
        + QByteArray::number(body.size()) + "\r\nConnection: close\r\n\r\n" + body;
}

} // namespace

DemoListSite::DemoListSite(Options options, QObject* parent)
    : QObject(parent)
    , m_options(options)
{
    connect(&m_server, &QTcpServer::newConnection, this, &DemoListSite::onNewConnection);
}

bool DemoListSite::listen(const QHostAddress& address, quint16 port)
{
    return m_server.listen(address, port);
}

QByteArray DemoListSite::page(int offset) const
{
    QByteArray body = "<html>\n<head><title>Open proxy list</title></head>\n<body>\n"
                      "<h1>Open proxy list</h1>\n<table>\n";
    // Header rows: the title, the column names and two rows of navigation.
    for (int header = 0; header < HeaderRows; ++header)
        body += "<tr align=\"center\">\n<th>Proxy list, offset " + QByteArray::number(offset) + "</th>\n</tr>\n";
    const int pageNumber = offset / RowsPerPage;
    if (offset % RowsPerPage == 0 && pageNumber < m_options.pagesWithRows) {
        std::mt19937 random(m_options.seed ^ static_cast<quint32>(offset * 2654435761U));
        for (int row = 0; row < RowsPerPage; ++row)
            body += ProxyRow(random, offset + row);
        body += "<tr align=\"center\">\n<td><a href=\"" + QByteArray(ListPath)
            + "?order=&offset=" + QByteArray::number(offset + RowsPerPage) + "\">Next page</a></td>\n</tr>\n";
    }
    body += "</table>\n</body>\n</html>\n";
    return body;
}

void DemoListSite::onNewConnection()
{
    while (QTcpSocket* socket = m_server.nextPendingConnection()) {
        socket->setParent(this);
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { onReadyRead(socket); });
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    }
}

void DemoListSite::onReadyRead(QTcpSocket* socket)
{
    if (socket->property("answered").toBool())
        return;
    QByteArray head = socket->property("head").toByteArray() + socket->readAll();
    if (!head.contains("\r\n\r\n")) {
        if (head.size() > LongestRequestHead)
            socket->disconnectFromHost();
        else
            socket->setProperty("head", head);
        return;
    }
    socket->setProperty("answered", true);
    const QList<QByteArray> requestLine = head.left(head.indexOf("\r\n")).split(' ');
    const QByteArray target = requestLine.size() == 3 && requestLine[0] == "GET" ? requestLine[1] : QByteArray();
    m_targetsRequested.append(target);
    QTimer::singleShot(m_options.pageDelay, socket, [this, socket, target] { respond(socket, target); });
}

void DemoListSite::respond(QTcpSocket* socket, const QByteArray& target) const
{
    const QUrl url(QString::fromLatin1(target));
    const QUrlQuery query(url);
    bool numeric = false;
    const int offset = query.queryItemValue(u"offset"_s).toInt(&numeric);
    if (url.path() == QLatin1String(ListPath) && numeric && offset >= 0)
        socket->write(Response("200 OK", page(offset)));
    else
        socket->write(Response("404 Not Found", "<html><body>Not found</body></html>\n"));
    socket->disconnectFromHost();
}
