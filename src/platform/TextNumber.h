#pragma once

#include <QString>

#include <optional>

// Reads a decimal number typed by the user, in the user's number format (a plain C-format
// number is accepted too), with blanks around it allowed; nothing when the text is no number.
std::optional<double> TextToNumber(const QString& text);

// The nearest whole number, a half going to the even neighbour; nothing when the value does
// not fit a 32-bit integer.
std::optional<int> RoundHalfToEven(double value);
