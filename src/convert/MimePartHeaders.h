#pragma once

#include <QByteArray>
#include <QString>

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
