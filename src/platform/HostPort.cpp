#include "HostPort.h"

#include "PlainText.h"

#include <QCommandLineParser>
#include <QHostAddress>
#include <QUrl>

#include <algorithm>

using namespace Qt::StringLiterals;

QString HostPort::authority() const
{
    const QString shownHost = host.contains(u':') ? u'[' + host + u']' : host;
    return port ? shownHost + u':' + QString::number(*port) : shownHost;
}

// QUrl reads the authority by the URL rules, in strict mode; what it lets through that a
// server name must not be is refused here: user info, an empty or zero port, and the
// characters QUrl would take as the start of a path, query or fragment.
std::optional<HostPort> ParseHostPort(const QString& text)
{
    const bool separators = std::any_of(text.begin(), text.end(), [](QChar c) {
        return c == u'/' || c == u'?' || c == u'#' || c == u'@' || c == u' ' || IsControlCharacter(c);
    });
    if (text.isEmpty() || separators || text.endsWith(u':'))
        return std::nullopt;
    QUrl url;
    // The scope of a link-local IPv6 address is written as on the command line, "%eth0"; the
    // URL rules want its percent sign encoded.
    url.setAuthority(QString(text).replace(u'%', u"%25"_s), QUrl::StrictMode);
    const QString host = url.host(QUrl::FullyEncoded);
    if (!url.isValid() || host.isEmpty() || host.contains(u"..") || host.contains(u'[') || host.contains(u']')
        || url.port() == 0)
        return std::nullopt;
    // A bracketed host is an IPv6 address, the only kind with a scope: QUrl would take an
    // IPvFuture literal there too, and a percent sign in a host name.
    const bool addressLike = text.startsWith(u'[') || host.contains(u':') || host.contains(u'%');
    if (addressLike && QHostAddress(url.host()).protocol() != QAbstractSocket::IPv6Protocol)
        return std::nullopt;
    HostPort parsed{url.host(), std::nullopt};
    if (url.port() > 0)
        parsed.port = quint16(url.port());
    return parsed;
}

std::variant<HostPort, QString> ReadServerOption(const QCommandLineParser& parser, const QCommandLineOption& option,
                                                 const HostPort& usual)
{
    if (!parser.isSet(option))
        return usual;
    const QString value = parser.value(option);
    if (std::optional<HostPort> server = ParseHostPort(value))
        return *server;
    return u"invalid --%1 value \"%2\": expected HOST or HOST:PORT"_s.arg(option.names().constLast(), value);
}
