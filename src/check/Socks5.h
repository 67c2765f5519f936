#pragma once

#include <QtGlobal>

// The numbers of SOCKS5 (RFC 1928) and its login (RFC 1929), as the check speaks it to a proxy
// and the local server speaks it to its clients.
enum Socks5 : quint8 {
    Version5 = 5,
    NoLogin = 0,
    UserPassword = 2,
    NoAcceptableMethod = 0xff,
    LoginVersion = 1,
    ConnectCommand = 1,
    Ipv4Type = 1,
    NameType = 3,
    Ipv6Type = 4,
    GeneralFailure = 1,
    CommandNotSupported = 7,
    AddressTypeNotSupported = 8,
};
