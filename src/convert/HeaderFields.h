#pragma once

#include <QByteArray>

class QIODevice;

// The raw values of the first Subject, From and Date fields of a header block, unfolded: each
// fold (a line break with the blanks and tabs around it) reads as one space. Each value is
// kept to its first `fieldValueLimit` bytes, so a huge header costs no more than that.
struct HeaderFields {
    static constexpr qsizetype fieldValueLimit = 64 << 10;
    static constexpr qint64 scanLimit = 8 << 20; // a header block is not looked for further

    QByteArray subject, from, date; // null when the field is missing
    // The first Return-Path, when it comes before the reading stops (where delivery puts it: first).
    QByteArray returnPath;
    bool complete = false; // false when the header block did not end within scanLimit bytes
};

// Reads the header block from the device's current position, at most `length` bytes (and
// scanLimit), in bounded steps; it stops early once all three fields have been read. A leading UTF-8 byte-order mark is
// skipped; a line ends at LF, CRLF or a lone CR; a NUL reads as a space; a line that is no header field is passed over.
HeaderFields readHeaderFields(QIODevice &device, qint64 length);
