#pragma once

#include <QString>

// How each row of the proxy table becomes one line of the list file.
struct ListFormat
{
    enum class Layout {
        AddressAndPort, // the address, the separator exactly as typed, the port
        AllData, // the five fields, a tab between each two
    };

    Layout layout = Layout::AddressAndPort;
    QString separator; // read by AddressAndPort only; may be empty or several characters long
};
