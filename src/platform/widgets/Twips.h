#pragma once

#include <QRect>

#include <cmath>

// The windows' geometry is given in twips (1/1440 inch); at the usual 96 dots an inch a
// device-independent pixel is 15 twips, and Qt scales those pixels for high-density screens.
constexpr int TwipsPerPixel = 15;

inline int Twips(int twips)
{
    return static_cast<int>(std::lround(static_cast<double>(twips) / TwipsPerPixel));
}

inline QRect TwipsRect(int left, int top, int width, int height)
{
    return QRect(Twips(left), Twips(top), Twips(width), Twips(height));
}

inline QSize TwipsSize(int width, int height)
{
    return QSize(Twips(width), Twips(height));
}
