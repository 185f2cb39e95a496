#pragma once

#include "platform/PathHelpers.h"

#include <QFile>
#include <QString>

// A file that is read only when it is a regular file, after following a link. A named pipe,
// a device, a socket or a kernel file of /proc is refused, and opening can never block: it
// opens without waiting, checks what it opened, and only then reads.
class RegularFile : public QFile
{
public:
    explicit RegularFile(const QString &path) : m_path(path) {}
    ~RegularFile() override = default;

    // False when the file cannot be opened or is not a regular file; failure() says why.
    bool openForReading();
    const QString &failure() const { return m_failure; }
    NoteReason failureReason() const { return m_failureReason; }

    QString fileName() const override { return m_path; }

private:
    QString m_path;
    QString m_failure;
    NoteReason m_failureReason = NoteReason::CannotRead;
};

// The one sentence for a link met where something would be written.
QString linkRefusal(const QString &path);

enum class WriteMode { Append, Truncate };

// Opens `path` to write, making it when missing: never through a link, only a regular file (never
// a pipe, a device or a folder, and opening never waits), emptied with Truncate only once known to
// be one. False with a sentence that names the file and the reason.
bool openRegularFileForWriting(QFile &file, const QString &path, WriteMode mode, QString *error);

// Which file an open file is, where POSIX calls tell it (its device and inode); elsewhere
// unknown, and any file passes for it.
struct FileIdentity {
    quint64 device = 0;
    quint64 inode = 0;
    bool operator==(const FileIdentity &) const = default;
};
FileIdentity identityOf(const QFileDevice &file);

// Opens again, unbuffered and to append, a file that this process made and let go of: never a
// file made anew, never through a link, and only the very file (`identity`) it made. False with
// a sentence that names the file and the reason.
bool reopenOwnFile(QFile &file, const QString &path, const FileIdentity &identity, QString *error);

// What the path is when it is not a regular file ("a named pipe", "a socket", ...), links
// followed; empty for a regular file and for a path that cannot be looked at.
QString nonRegularFileKind(const QString &path);

// The same checks for a caller that reads by position from the bare descriptor, which it then
// owns: handle is -1 when the file cannot be opened or is not a regular file (failure says why).
// Only where POSIX calls are used; elsewhere it always fails.
struct RegularFileHandle {
    int handle = -1;
    qint64 size = 0;
    FileStamp stamp;
    QString failure;
    NoteReason reason = NoteReason::CannotRead; // of the failure
};
RegularFileHandle openRegularFileHandle(const QString &path);
