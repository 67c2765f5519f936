#include "Judge.h"

#include "HostPort.h"
#include "JudgePage.h"

#include <QRandomGenerator>

using namespace Qt::StringLiterals;

namespace {

QByteArray NewToken()
{
    QByteArray bytes(16, '\0');
    QRandomGenerator::global()->generate(bytes.begin(), bytes.end());
    return bytes.toHex();
}

QByteArray WithToken(const QByteArray& path, const QByteArray& token)
{
    return path + (path.contains('?') ? '&' : '?') + "check=" + token;
}

} // namespace

std::optional<Judge> JudgeAt(const QUrl& url, const QByteArray& expect)
{
    if (!url.isValid() || url.scheme() != u"http"_s || url.host().isEmpty() || !url.userInfo().isEmpty())
        return std::nullopt;
    Judge judge;
    judge.url = url;
    judge.host = url.host();
    judge.port = quint16(url.port(80));
    // ":80" goes without saying; a host name goes in its ASCII form.
    const std::optional<quint16> port = judge.port == 80 ? std::nullopt : std::optional(judge.port);
    judge.hostHeader = HostPort{url.host(QUrl::EncodeUnicode), port}.authority().toLatin1();
    judge.path = url.path(QUrl::FullyEncoded).isEmpty() ? QByteArray("/") : url.path(QUrl::FullyEncoded).toLatin1();
    if (url.hasQuery())
        judge.path += '?' + url.query(QUrl::FullyEncoded).toLatin1();
    judge.expect = expect;
    return judge;
}

JudgeQuery::JudgeQuery(const Judge& judge, Form form, const std::optional<ProxyLogin>& login)
    : m_judge(judge)
    , m_token(NewToken())
{
    const QByteArray path = WithToken(judge.path, m_token);
    const QByteArray target = form == Form::Absolute ? "http://" + judge.hostHeader + path : path;
    m_request = "GET " + target + " HTTP/1.1\r\nHost: " + judge.hostHeader + "\r\n" + TokenHeader + ": " + m_token
        + "\r\n" + (form == Form::Absolute ? ProxyAuthorization(login) : QByteArray()) + "Connection: close\r\n\r\n";
}

JudgeVerdict JudgeQuery::verdict(const QHostAddress& checkerAddress) const
{
    if (m_answer.state() != HttpAnswer::State::Complete)
        return {false, u"the judge's answer is incomplete: "_s + m_answer.failure(), {}, {}};
    const int status = m_answer.status();
    if (status == 407)
        return {false, u"the HTTP proxy wants a login"_s, {}, {}};
    if (status != 200)
        return {false, u"status %1 instead of the judge's page"_s.arg(status), {}, {}};
    if (!m_judge.expect.isEmpty()) {
        if (!m_answer.body().contains(m_judge.expect))
            return {false, u"the judge's page lacks the expected text"_s, {}, {}};
        return {true, {}, {}, {}};
    }
    const std::optional<JudgeEnvironment> environment = JudgeEnvironment::parse(m_answer.body());
    if (!environment)
        return {false, u"the answer is not a judge's page"_s, {}, {}};
    const QByteArray uri = environment->value("REQUEST_URI").value_or(QByteArray());
    const QByteArray echoed = environment->value("HTTP_X_CHECK_TOKEN").value_or(QByteArray());
    if (!uri.contains("check=" + m_token) && echoed != m_token)
        return {false, u"the judge's page does not echo this request"_s, {}, {}};
    // The address goes into reports: only an address is taken from the page, never other text.
    QHostAddress exit(QString::fromLatin1(environment->value("REMOTE_ADDR").value_or(QByteArray())));
    exit.setScopeId({}); // a scope is any text after a '%'
    if (exit.isNull())
        return {false, u"the judge's page does not tell the address it saw"_s, {}, {}};
    JudgeVerdict verdict{true, {}, {}, exit.toString()};
    if (!checkerAddress.isNull())
        verdict.anonymity = GradeAnonymity(*environment, checkerAddress);
    return verdict;
}
