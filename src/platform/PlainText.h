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

// Bytes from the network that are not UTF-8. Wherever such text is shown, valid UTF-8 is read
// as such and the rest as Latin-1, so nothing the server sent is lost from sight. The unit
// differs on purpose. A page cell is read whole as Latin-1 when any byte of it is not UTF-8:
// it comes from one page in one encoding, so that byte shows the whole cell is Latin-1, and
// two of its other bytes must not be read as one UTF-8 character. A whois answer is read byte
// by byte: it is shown chunk by chunk as it streams in, and may quote records of several
// sources. A line of a proxy list to check is refused instead: it is written back out exactly
// as it was read, so only text known to be clean may pass.
