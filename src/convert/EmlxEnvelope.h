#pragma once

#include "platform/MessageNote.h"

#include <QDateTime>
#include <QString>
#include <QtGlobal>

#include <optional>

class SourceFile;

// Where the RFC 822 message lies inside an .emlx file. The file is a first line with the
// message's byte count, the message itself, then the mail client's XML property list.
// A file without that first line is a plain message from its first byte to its last, or up to
// a complete property list that ends the file.
struct EmlxEnvelope {
    qint64 fileSize = 0;
    qint64 messageOffset = 0;
    qint64 messageLength = 0;
    qint64 propertyListOffset = -1; // -1 when the file has no trailing property list
    // Set when the byte count did not match the file and was not trusted, or when the first line
    // is no count and no start of a message either.
    QString warning;
    QString contentWarning;         // set when the message holds no header line: not mail, copied as it is

    struct Result;
    static Result read(const QString &path);
    // The same from a file the caller has opened (and keeps open for the header block and the copy).
    static Result read(SourceFile &file);
};

struct EmlxEnvelope::Result {
    std::optional<EmlxEnvelope> envelope;
    QString error; // why the file holds no message, when !envelope
    NoteReason reason = NoteReason::NoMessage;
};

// The mail client's per-message state bits in the property list's `flags`.
namespace MessageFlag {
inline constexpr quint64 Read = 1u << 0;
inline constexpr quint64 Deleted = 1u << 1;
inline constexpr quint64 Answered = 1u << 2;
inline constexpr quint64 Flagged = 1u << 4;
inline constexpr quint64 Draft = 1u << 6;
inline constexpr quint64 Forwarded = 1u << 8;
} // namespace MessageFlag

// The dates the mail client keeps in the property list, in local time, and its state bits
// (read, answered, flagged, ...: see MessageFlag), 0 when it keeps none.
struct PropertyListDates {
    QDateTime sent;
    QDateTime received;
    quint64 flags = 0;
};
// Read from the source that is open already.
PropertyListDates readPropertyListDates(SourceFile &file, const EmlxEnvelope &envelope);
