#pragma once

#include <QByteArray>

#include <functional>

class QIODevice;

// Takes bytes to write; false stops the encoding (the output failed or the run was stopped).
using EncodedBytesSink = std::function<bool(const QByteArray &)>;

// Reads `content` in chunks and passes it to `write` as the body of a MIME part whose
// Content-Transfer-Encoding is `transferEncoding` (lower case). base64 comes in lines of 76,
// quoted-printable in lines of at most 76 with soft breaks and with blanks that end a line
// encoded; the lines made end in `lineEnd`, the message's own. Any other encoding (7bit, 8bit,
// binary, none) and `alreadyEncoded` content is passed on as it is; a line end follows decoded
// content always, encoded content only when it lacks one. Implemented with the other GMime
// work in HeaderReader.cpp.
void writeEncodedBody(QIODevice &content, const QByteArray &transferEncoding, bool alreadyEncoded,
                      const QByteArray &lineEnd, const EncodedBytesSink &write);
