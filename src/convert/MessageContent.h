#pragma once

#include "convert/EmlxEnvelope.h"
#include "platform/PathHelpers.h"

#include <QDateTime>
#include <QString>
#include <QStringList>

#include <memory>

class QIODevice;
class SourceFile;

// The bytes a message becomes, whatever the format: the message range of its source as it is, or,
// for a partial message, the message with its parts put back. Which of the two is decided once,
// here; both are written to a file of their own or to a stream.
class MessageContent
{
public:
    // `file` is the source opened already, or null (it is then opened when needed); `keepGoing` is
    // asked between chunks of a long copy.
    MessageContent(QString source, std::unique_ptr<SourceFile> file, const EmlxEnvelope &envelope,
                   const FileStamp &sourceStamp, KeepGoing keepGoing);
    ~MessageContent();

    // Into `path`, atomically, with the source's permissions and its modification time, or
    // `modified` where that is valid. With `below`, no link between it and `path` is followed
    // (see CopyMessageFile).
    FileResult writeToFile(const QString &path, const QDateTime &modified = {}, const QString &below = {});
    // Appended to `out`.
    FileResult writeTo(QIODevice &out);

    // The parts that were not there to put back ("2.1 (report.pdf)"), after a write.
    const QStringList &missingParts() const { return m_missingParts; }

private:
    bool openSource(QString *error);

    QString m_source;
    std::unique_ptr<SourceFile> m_file;
    EmlxEnvelope m_envelope;
    FileStamp m_sourceStamp;
    KeepGoing m_keepGoing;
    bool m_partial = false;
    QStringList m_missingParts;
};
