#pragma once

#include <QString>

// A control character: C0 (NUL to U+001F), DEL or C1 (U+0080 to U+009F). Text holding one may
// drive the terminal it is printed on, and Qt's widgets drop it, cut at it or draw it as
// nothing; every check and display of text in the program goes by this one definition.
bool IsControlCharacter(QChar c);

// Whether the text holds a control character that is not among the allowed ones.
bool HasControlCharacter(QStringView text, QStringView allowed = {});

// Text from the network as it is shown: C0 controls and DEL as the Unicode control pictures,
// C1 controls, which have none, as the replacement character. Tab, CR and LF are kept, so
// multi-line texts keep their shape.
QString DisplayText(const QString& text);
