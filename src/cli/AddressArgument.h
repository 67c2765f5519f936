#pragma once

#include "PlainText.h"

#include <QStringList>

#include <optional>

// The one ADDRESS that whois and ping take: nothing when there is none or more than one, or
// when it holds a control character, which would reach the terminal in the answer.
inline std::optional<QString> OneAddress(const QStringList& arguments)
{
    if (arguments.size() != 1 || arguments.constFirst().isEmpty() || HasControlCharacter(arguments.constFirst()))
        return std::nullopt;
    return arguments.constFirst();
}
