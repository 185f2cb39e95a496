#pragma once

#include <QByteArray>
#include <QString>

// Header text as people read it: RFC 2047 encoded-words decoded, and 8-bit text that no
// encoded-word declares read sequence by sequence (valid UTF-8 as UTF-8, any other byte as
// windows-1252). Values come unfolded (see HeaderFields).

// Unstructured text such as a Subject, blanks around it removed.
QString decodeHeaderText(const QByteArray &value);

// An address field made ready for an address parser: encoded-words become quoted text and
// 8-bit text becomes UTF-8, so structure (commas, angle brackets) is read from the raw bytes
// only.
QByteArray decodeAddressWords(const QByteArray &value);

// Text in a charset that Qt has no decoder of its own for (Qt built without ICU, as on Windows),
// through GMime's iconv; a null string where iconv has none either. In HeaderReader.cpp, with
// the rest of the GMime work.
QString decodeWithIconv(const QByteArray &bytes, const QByteArray &charset);

// Bytes in no declared charset: each valid UTF-8 sequence as UTF-8, each stray byte as
// windows-1252.
QString decodeUtf8OrWindows1252(const QByteArray &bytes);
