// Conversion layer: the .emlx envelope, the header reader, naming and the run.
// Qt Core only; GMime stays inside HeaderReader.cpp. Builds on src/platform.
#pragma once

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
};

// The dates the mail client keeps in the property list, in local time, and its state bits
// (read, answered, flagged, ...: see MessageFlag), 0 when it keeps none.
struct PropertyListDates {
    QDateTime sent;
    QDateTime received;
    quint64 flags = 0;
};
PropertyListDates readPropertyListDates(const QString &path, const EmlxEnvelope &envelope);
