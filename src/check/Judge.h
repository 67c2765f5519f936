#pragma once

#include "Anonymity.h"
#include "HttpAnswer.h"
#include "ProbeResult.h"
#include "TunnelHandshake.h"

#include <QByteArray>
#include <QHostAddress>
#include <QString>
#include <QUrl>

#include <optional>

// The page a working proxy must fetch: a judge, which prints the request it received as
// environment lines, or any page when `expect` names a text it must hold.
struct Judge
{
    QUrl url;
    QString host;
    quint16 port = 80;
    QByteArray hostHeader; // the host, and the port unless it is 80
    QByteArray path; // what the judge itself is asked for, its query included
    QByteArray expect; // empty: the page must echo the request's token
};

// A judge at an http:// URL with a host; nothing for any other URL.
std::optional<Judge> JudgeAt(const QUrl& url, const QByteArray& expect);

// What a judge's answer showed.
struct JudgeVerdict
{
    bool works = false;
    QString reason; // why it does not count, when it does not
    std::optional<Anonymity> anonymity;
    QString exitAddress; // the address the judge saw the request come from
};

// One request for the judge's page, marked with a random token of its own in its query and in
// a header, and the reading of the answer. A proxy cannot know the token before it carries the
// request, so an answer counts only when it is complete and the judge's environment page echoes
// the token where a judge prints the request: a page sent before the request, or one that merely
// quotes it somewhere, does not.
class JudgeQuery final
{
public:
    static constexpr qsizetype AnswerCap = qsizetype(64) * 1024;
    static constexpr auto TokenHeader = "X-Check-Token";

    // Absolute form asks an HTTP proxy; origin form asks the judge itself, directly or through
    // a tunnel.
    enum class Form { Absolute, Origin };

    JudgeQuery(const Judge& judge, Form form, const std::optional<ProxyLogin>& login = {});

    const QByteArray& request() const { return m_request; }
    HttpAnswer& answer() { return m_answer; }
    const QByteArray& token() const { return m_token; }

    // Once the answer is complete or has failed. The grade needs the checker's own address as
    // the judge sees it; without it, none is given.
    JudgeVerdict verdict(const QHostAddress& checkerAddress) const;

private:
    const Judge& m_judge;
    QByteArray m_token;
    QByteArray m_request;
    HttpAnswer m_answer{AnswerCap};
};
