#pragma once

#include "convert/EmlxEnvelope.h"
#include "convert/MessageHeaders.h"

#include <QStringList>

class SourceFile;

// Reads Subject, From and Date of one message file. Only the header block of the message
// inside the envelope is read, in bounded steps, and only the first field of each name
// counts; the body is never read.
class HeaderReader : public MessageHeaders
{
public:
    // False when the file holds no readable message; errorString() says why.
    bool LoadMessageFile(const QString &path);
    // The same, for a file whose envelope the caller has read already.
    bool LoadMessageFile(const QString &path, const EmlxEnvelope &envelope);
    // The same from a file the caller has open already.
    bool LoadMessageFile(SourceFile &file, const EmlxEnvelope &envelope);

    // The Date header's date and time in the header's own zone; when it is missing or
    // unparsable, the mail client's sent date, its received date, or the file's
    // modification time, in local time.
    QDateTime GetDate() override { return m_date; }
    // Decoded text, blanks around it removed; empty when the message lacks the header.
    QString GetSubject() override { return m_subject; }
    QString GetFrom() override { return m_from; }
    // The Return-Path header as it stands ("<bounce@example.com>"), empty when missing.
    QString returnPath() const { return m_returnPath; }

    QString errorString() const { return m_error; }
    QStringList warnings() const { return m_warnings; }

private:
    QString m_subject;
    QString m_from;
    QString m_returnPath;
    QDateTime m_date;
    QString m_error;
    QStringList m_warnings;
};
