#pragma once

#include "JudgePage.h"

#include <vector>

// How much a proxy tells the judge about its client; a later level is more anonymous, so
// `level >= required` means "at least as anonymous".
enum class Anonymity {
    Transparent, // the judge learns the client's address
    Anonymous, // the judge learns that a proxy asks, not for whom
    Elite, // the request looks as if the proxy itself made it
};

QString AnonymityName(Anonymity level); // "transparent", "anonymous", "elite"
std::optional<Anonymity> AnonymityNamed(const QString& name);

// Every whole IP address in a header's value: a list split at commas, semicolons and white space,
// each item unquoted, an IPv6 address taken out of its brackets and a port cut off. An item
// "name=value" counts only as `for=` of a Forwarded header; names ("unknown", obfuscated
// identifiers such as "_hidden") are no addresses.
std::vector<QHostAddress> AddressesInHeader(QByteArrayView value);

// The level a judge's page shows for a request through a proxy: transparent when the checker's
// own address is REMOTE_ADDR or one of the addresses in a header that carries a client's
// address, anonymous when a header reveals a proxy, elite otherwise. Only whole addresses in the
// values of those lines count, so the judge's own host name (HTTP_HOST) holding the address does
// not; an IPv4-mapped IPv6 address is its IPv4 address.
Anonymity GradeAnonymity(const JudgeEnvironment& environment, const QHostAddress& checkerAddress);
