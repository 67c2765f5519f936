// A judge's answer as a proxy may send it. Read in pieces of any size it ends as read whole, its
// body never longer than what came. The page in it (or the bytes themselves), served again by our
// judge, reads back the same; it grades transparent only through a line whose value names the
// checker's address, always when a client-address header names it, never by the host name.

#include "Anonymity.h"
#include "FuzzCheck.h"

#include <QSet>

using Lines = QList<JudgeEnvironment::Line>;

static Anonymity Grade(const Lines& lines, const QHostAddress& checker)
{
    QByteArray page;
    for (const auto& [name, value] : lines)
        page += name + " = " + value + '\n';
    return GradeAnonymity(*JudgeEnvironment::parse(page), checker);
}

static void CheckPage(const JudgeEnvironment& environment)
{
    const auto plain = [&](const char* name) { return environment.value(name).value_or("").replace('\r', ""); };
    HttpRequest request{QHostAddress(QHostAddress::LocalHost), 4711, plain("REQUEST_METHOD"), plain("REQUEST_URI"),
                        plain("SERVER_PROTOCOL")};
    Lines served{
        {"REQUEST_METHOD", request.method}, {"REQUEST_URI", request.target}, {"SERVER_PROTOCOL", request.protocol}};
    QSet<QByteArray> names;
    std::vector<QHostAddress> named;
    for (const auto& [name, value] : environment.lines()) {
        for (const QHostAddress& address : AddressesInHeader(value))
            named.push_back(address);
        if (name.startsWith("HTTP_") && !value.contains('\r') && !names.contains(name)) {
            names.insert(name);
            request.headers.append({name.sliced(5), value});
            served.append({name, value});
        }
    }
    // Served again by our judge, from another address and port, the page reads back the same.
    FUZZ_CHECK(JudgeEnvironment::parse(JudgePageText(request))->lines().sliced(2) == served);

    const QHostAddress checker = named.empty() ? QHostAddress(QHostAddress::LocalHost) : named.front();
    const Anonymity level = GradeAnonymity(environment, checker);
    Lines unnamed;
    for (const JudgeEnvironment::Line& line : environment.lines()) {
        const std::vector<QHostAddress> addresses = AddressesInHeader(line.second);
        if (std::none_of(addresses.cbegin(), addresses.cend(), [&checker](const QHostAddress& address) {
                return address.isEqual(checker, QHostAddress::ConvertV4MappedToIPv4);
            }))
            unnamed.append(line);
    }
    FUZZ_CHECK(unnamed.isEmpty() || Grade(unnamed, checker) != Anonymity::Transparent);
    FUZZ_CHECK(Grade(Lines{{"HTTP_HOST", checker.toString().toLatin1()}} + environment.lines(), checker) == level);
    const Lines leak{{"HTTP_X_FORWARDED_FOR", "unknown, " + checker.toString().toLatin1()}};
    FUZZ_CHECK(Grade(leak + environment.lines(), checker) == Anonymity::Transparent);
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;
    // The first byte picks the framing and the cap; then each piece is a length byte, read as 0
    // to 64, and that many bytes.
    const auto framing = (data[0] & 1) != 0 ? HttpAnswer::Framing::HeaderOnly : HttpAnswer::Framing::WholeAnswer;
    const qsizetype cap = std::array<qsizetype, 4>{65536, 1024, 100, 16}[(data[0] >> 1) & 3];
    const QByteArrayView input(data + 1, qsizetype(size - 1));
    HttpAnswer inPieces(cap, framing);
    QByteArray bytes;
    for (qsizetype at = 0; at < input.size();) {
        const qsizetype length = std::min<qsizetype>(std::uint8_t(input[at]) % 65, input.size() - at - 1);
        inPieces.read(input.sliced(at + 1, length));
        bytes += input.sliced(at + 1, length);
        at += 1 + length;
    }
    HttpAnswer whole(cap, framing);
    whole.read(bytes);
    inPieces.readEnd();
    whole.readEnd();
    FUZZ_CHECK(whole.body().size() <= std::min(bytes.size(), cap));
    FUZZ_CHECK(inPieces.state() == whole.state() && inPieces.status() == whole.status()
               && inPieces.isHttp() == whole.isHttp() && inPieces.failure() == whole.failure()
               && inPieces.body() == whole.body() && inPieces.header("Content-Type") == whole.header("Content-Type")
               && inPieces.takeRest() == whole.takeRest());

    const QByteArrayView page = whole.state() == HttpAnswer::State::Complete ? QByteArrayView(whole.body()) : bytes;
    if (const std::optional<JudgeEnvironment> environment = JudgeEnvironment::parse(page))
        CheckPage(*environment);
    return 0;
}
