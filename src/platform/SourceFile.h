#pragma once

#include "platform/PathHelpers.h"

#include <QByteArray>
#include <QIODevice>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

class RegularFile;

// A message file opened once for everything a run does with it: the envelope, the header block
// and the copy all read through it. Only a regular file opens (see RegularFile). The first bytes
// are read once and kept, so that the envelope and most header blocks cost a single read.
class SourceFile
{
public:
    explicit SourceFile(QString path);
    ~SourceFile();
    SourceFile(const SourceFile &) = delete;
    SourceFile &operator=(const SourceFile &) = delete;

    // False when the file cannot be opened or is not a regular file; failure() says why.
    bool open();
    void close();
    bool isOpen() const;
    const QString &failure() const { return m_failure; }
    NoteReason failureReason() const { return m_failureReason; }
    const QString &path() const { return m_path; }

    qint64 size() const { return m_size; }
    // Permissions and modification time as opened; unknown where the platform gives them only by name.
    const FileStamp &stamp() const { return m_stamp; }

    // Up to `length` bytes from `offset`, fewer at the end of the file; false when reading
    // failed (errorString() says why).
    bool readAt(qint64 offset, char *data, qint64 length, qint64 *got);
    QByteArray readAt(qint64 offset, qint64 length);
    // Like readAt, but where the first bytes kept hold the start of the range, only what they hold.
    bool readSomeAt(qint64 offset, char *data, qint64 length, qint64 *got);
    // The bytes of the range where the first bytes read already hold all of it, else nothing.
    std::optional<QByteArrayView> keptBytes(ByteRange range) const;
    QString errorString() const { return m_error; }

    // The descriptor for positioned reads and kernel copies; -1 where the platform has none.
    int handle() const { return m_handle; }

private:
    bool readUncached(qint64 offset, char *data, qint64 length, qint64 *got);

    QString m_path;
    QString m_failure;
    NoteReason m_failureReason = NoteReason::CannotRead;
    QString m_error;
    int m_handle = -1;
    std::unique_ptr<RegularFile> m_file; // where the platform has no positioned reads
    qint64 m_size = 0;
    FileStamp m_stamp;
    QByteArray m_head; // the first bytes, once read
    bool m_headRead = false;
};

// Takes the bytes of a copy; false with the reason when they cannot be written.
using ByteSink = std::function<bool(const char *data, qint64 size, QString *error)>;
// Passes the bytes of `range` of `source` to `sink` through a buffer, in chunks small enough that a
// stop, asked between them, is seen soon even on a slow disk. The one buffered copy loop: for the
// kernel copy's fallback, for temporary files and for mailboxes.
bool copyRangeTo(SourceFile &source, ByteRange range, const ByteSink &sink, QString *error,
                 const KeepGoing &keepGoing);

// Reads a source file from a given offset on, as a sequential device.
class SourceFileDevice : public QIODevice
{
public:
    SourceFileDevice(SourceFile &source, qint64 offset);
    bool isSequential() const override { return true; }

protected:
    qint64 readData(char *data, qint64 maxSize) override;
    qint64 writeData(const char *, qint64) override { return -1; }

private:
    SourceFile &m_source;
    qint64 m_offset;
};
