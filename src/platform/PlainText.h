#pragma once

#include <QString>

// Text from the network may hold NUL and other control characters that Qt's widgets would
// drop, cut at or render as nothing; they are shown as the Unicode control pictures instead.
// Tab, CR and LF are kept, so multi-line texts keep their shape.
QString DisplayText(const QString& text);
