#include "convert/MessageContent.h"

#include "convert/PartialMessage.h"
#include "platform/AtomicWriter.h"
#include "platform/FileFacts.h"
#include "platform/SourceFile.h"

#include <QFileInfo>
#include <QIODevice>

MessageContent::MessageContent(QString source, std::unique_ptr<SourceFile> file, const EmlxEnvelope &envelope,
                               const FileStamp &sourceStamp, KeepGoing keepGoing)
    : m_source(std::move(source)), m_file(std::move(file)), m_envelope(envelope), m_sourceStamp(sourceStamp),
      m_keepGoing(std::move(keepGoing)), m_partial(isPartialMessageFile(m_source))
{}

MessageContent::~MessageContent() = default;

namespace {

// The stamp of the source with another modification time.
FileStamp withModificationTime(FileStamp stamp, const QDateTime &modified)
{
    const qint64 ms = modified.toMSecsSinceEpoch();
    stamp.modifiedSeconds = ms / 1000;
    stamp.modifiedNanoseconds = (ms % 1000) * 1000000;
    if (stamp.modifiedNanoseconds < 0) {
        stamp.modifiedSeconds -= 1;
        stamp.modifiedNanoseconds += 1000000000;
    }
    return stamp;
}

} // namespace

bool MessageContent::openSource(QString *error)
{
    if (!m_file)
        m_file = std::make_unique<SourceFile>(m_source);
    if (m_file->isOpen() || m_file->open())
        return true;
    *error = m_file->failure();
    return false;
}

FileResult MessageContent::writeToFile(const QString &path, const QDateTime &modified, const QString &below)
{
    FileStamp stamp; // unknown: the source's own
    if (modified.isValid())
        stamp = withModificationTime(m_sourceStamp.known ? m_sourceStamp : factsOf(m_source, Links::Followed).stamp,
                                     modified);
    if (m_partial) {
        const ContentWriter reassemble = [&](QFileDevice &out, QString *error) {
            const FileResult written = writeTo(out);
            *error = written.error;
            return written.ok;
        };
        return stamp.known ? writeFileAtomically(path, false, stamp, reassemble)
                           : writeFileAtomically(path, false, QFileInfo(m_source), reassemble);
    }
    QString error;
    if (!openSource(&error))
        return FileResult::failure(NoteReason::CannotRead, error);
    const FileResult copied =
        CopyMessageFile(*m_file, path, false, {m_envelope.messageOffset, m_envelope.messageLength}, m_keepGoing,
                        stamp, below);
    m_file.reset();
    return copied;
}

FileResult MessageContent::writeTo(QIODevice &out)
{
    if (m_partial) {
        const ReassemblyResult reassembled = writeReassembledMessage(m_source, m_envelope, out, m_keepGoing);
        if (!reassembled.ok)
            return FileResult::failure(NoteReason::CannotWrite, reassembled.error);
        m_missingParts = reassembled.missingParts;
        return {};
    }
    QString error;
    if (!openSource(&error))
        return FileResult::failure(NoteReason::CannotRead, error);
    const bool copied = copyRangeTo(
        *m_file, {m_envelope.messageOffset, m_envelope.messageLength},
        [&out](const char *data, qint64 size, QString *failure) {
            if (writeAll(out, data, size))
                return true;
            *failure = out.errorString();
            return false;
        },
        &error, m_keepGoing);
    m_file.reset();
    if (!copied)
        return FileResult::failure(NoteReason::CannotWrite, error);
    return {};
}
