// Everything this program asks of GMime, the mail-parsing library: the structure of an address
// list, dates of shapes other than the RFC's, the headers of MIME parts, and the transfer
// encodings. Mime.cpp is the only file that includes GMime; no GMime type leaves it.
#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include <functional>
#include <optional>

class QIODevice;

// The display text of an address list ("Ann <ann@example.com>, Bob <bob@example.com>"), words
// decoded beforehand; nothing when GMime finds no address in it.
std::optional<QString> addressListText(const QByteArray &decodedList);

// Text in a charset that Qt has no decoder of its own for (Qt built without ICU, as on Windows),
// through GMime's iconv; a null string where iconv has none either.
QString decodeWithIconv(const QByteArray &bytes, const QByteArray &charset);

// A date in any shape GMime's lenient parser reads, in its own zone; invalid when it reads none.
QDateTime lenientMailDate(const QByteArray &raw);

// What the header block of one MIME entity says about its body.
struct MimePartHeaders {
    bool multipart = false;
    QByteArray boundary;               // of a multipart
    QByteArray transferEncoding;       // lower case; empty when not given
    QString fileName;                  // decoded (RFC 2231 and RFC 2047); empty when none
    bool strippedByMailClient = false; // carries the mail client's X-Apple-Content-Length
};

// Parses a header block (the lines up to, not including, the empty line).
MimePartHeaders parseMimePartHeaders(const QByteArray &headerBlock);

// Takes bytes to write; false stops the encoding (the output failed or the run was stopped).
using EncodedBytesSink = std::function<bool(const QByteArray &)>;

// Reads `content` in chunks and passes it to `write` as the body of a MIME part whose
// Content-Transfer-Encoding is `transferEncoding` (lower case). base64 comes in lines of 76,
// quoted-printable in lines of at most 76 with soft breaks and with blanks that end a line
// encoded; the lines made end in `lineEnd`, the message's own. Any other encoding (7bit, 8bit,
// binary, none) and `alreadyEncoded` content is passed on as it is; a line end follows decoded
// content always, encoded content only when it lacks one.
void writeEncodedBody(QIODevice &content, const QByteArray &transferEncoding, bool alreadyEncoded,
                      const QByteArray &lineEnd, const EncodedBytesSink &write);
