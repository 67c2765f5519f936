#pragma once

#include <QString>

#include <optional>

// Reads a decimal number typed by the user, in the user's number format (a plain C-format
// number is accepted too), with blanks around it allowed; nothing when the text is no number.
std::optional<double> TextToNumber(const QString& text);

// A whole number from `least` to `most` typed by the user; nothing for any other text.
std::optional<int> WholeNumberFromText(const QString& text, int least, int most);

// The nearest whole number, a half going to the even neighbour; nothing when the value does
// not fit a 32-bit integer.
std::optional<int> RoundHalfToEven(double value);
