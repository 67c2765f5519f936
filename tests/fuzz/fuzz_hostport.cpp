// A HOST[:PORT] option value through ParseHostPort. Checked for every value it accepts: the
// host is a non-empty name without the characters of a URL's other parts, or an IPv6 address;
// a port is 1 to 65535; the authority it gives parses back to the same server; and the same
// host with ":43" after it is that host on port 43.

#include "FuzzCheck.h"
#include "HostPort.h"

#include <QHostAddress>

#include <cstdint>

using namespace Qt::StringLiterals;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QString text = QString::fromUtf8(QByteArrayView(data, static_cast<qsizetype>(size)));
    const std::optional<HostPort> parsed = ParseHostPort(text);
    if (!parsed)
        return 0;

    FUZZ_CHECK(!parsed->host.isEmpty());
    for (const QChar c : u"[]/@?# \t\r\n"_s)
        FUZZ_CHECK(!parsed->host.contains(c));
    if (parsed->host.contains(u':'))
        FUZZ_CHECK(QHostAddress(parsed->host).protocol() == QAbstractSocket::IPv6Protocol);
    FUZZ_CHECK(!parsed->port || *parsed->port >= 1);

    FUZZ_CHECK(ParseHostPort(parsed->authority()) == parsed);
    const HostPort onPort43{parsed->host, quint16(43)};
    FUZZ_CHECK(ParseHostPort(HostPort{parsed->host, std::nullopt}.authority() + u":43"_s) == onPort43);
    return 0;
}
