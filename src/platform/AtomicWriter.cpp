#include "platform/AtomicWriter.h"

#include "platform/FileFacts.h"
#include "platform/DestinationFolder.h"
#include "platform/InFlightFiles.h"
#include "platform/OpenFolders.h"
#include "platform/RegularFile.h"
#include "platform/SourceFile.h"
#include "platform/SystemCalls.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QScopeGuard>
#include <QTemporaryFile>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <optional>

#if EMLX_UNIX_CALLS
#include <sys/stat.h>
#include <unistd.h>
#endif
#if EMLX_LINUX_IO
#include <fcntl.h>
#endif
#if EMLX_WINDOWS_CALLS
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <io.h>
#include <windows.h>
#endif

namespace {

#if EMLX_UNIX_CALLS
// The process's umask, read once: it only narrows what outputs may allow.
mode_t processUmask()
{
    static const mode_t mask = [] {
#if EMLX_LINUX_IO
        // Read without setting it: other threads may be making files meanwhile.
        QFile status(QStringLiteral("/proc/self/status"));
        if (status.open(QIODevice::ReadOnly))
            for (QByteArray line = status.readLine(); !line.isEmpty(); line = status.readLine())
                if (line.startsWith("Umask:"))
                    return mode_t(line.mid(6).trimmed().toUInt(nullptr, 8));
#endif
        const mode_t old = ::umask(022);
        ::umask(old);
        return old;
    }();
    return mask;
}

// The output keeps the source's modification time and its permissions within the umask; a
// temporary file is private to its owner, so the owner may always read and write the output.
mode_t outputMode(const FileStamp &like)
{
    return ((mode_t(like.permissions) & 0777) & ~processUmask()) | S_IRUSR | S_IWUSR;
}

// `created`: the permissions the file was made with, where it was made with them.
void stampDescriptor(int handle, const FileStamp &like, mode_t created = 0)
{
    if (!like.known)
        return;
    const timespec times[2] = {{0, UTIME_OMIT}, {time_t(like.modifiedSeconds), long(like.modifiedNanoseconds)}};
    ::futimens(handle, times);
    if (outputMode(like) != created)
        ::fchmod(handle, outputMode(like));
}
#endif

#if EMLX_UNIX_CALLS
// Whether `path` names the very file open as `handle`, not followed if a link: a process beside the
// run may put another file in place of a temporary name between its making and its renaming.
bool namesOpenFile(const QByteArray &path, int handle)
{
    struct stat named = {}, open = {};
    return ::lstat(path.constData(), &named) == 0 && ::fstat(handle, &open) == 0 && named.st_dev == open.st_dev &&
           named.st_ino == open.st_ino;
}
#endif

// After a rename into place: the file there must be the one written, else what was put there
// instead is taken out again.
FileResult checkRenamed(const QString &newPath, int handle)
{
#if EMLX_UNIX_CALLS
    const QByteArray target = QFile::encodeName(newPath);
    if (handle < 0 || namesOpenFile(target, handle))
        return {};
    ::unlink(target.constData());
    return FileResult::failure(NoteReason::CannotWrite,
                               QStringLiteral("cannot write %1: its temporary file was replaced by another while it "
                                              "was written; nothing was kept")
                                   .arg(quotedPath(newPath)));
#else
    Q_UNUSED(newPath);
    Q_UNUSED(handle);
    return {};
#endif
}

// Windows keeps file times in 100 ns steps, Qt's in milliseconds: the source's own time, whole.
bool copyWriteTime(const QFileInfo &like, QFileDevice &out)
{
#if EMLX_WINDOWS_CALLS
    WIN32_FILE_ATTRIBUTE_DATA source;
    const auto handle = reinterpret_cast<HANDLE>(_get_osfhandle(out.handle()));
    return handle != INVALID_HANDLE_VALUE &&
           GetFileAttributesExW(reinterpret_cast<const wchar_t *>(QDir::toNativeSeparators(like.filePath()).utf16()),
                                GetFileExInfoStandard, &source) &&
           SetFileTime(handle, nullptr, nullptr, &source.ftLastWriteTime);
#else
    Q_UNUSED(like);
    Q_UNUSED(out);
    return false;
#endif
}

// The stamp where it is known, else what `like` says, read by its name.
void takeTimeAndPermissionsOf(const FileStamp &stamp, const QFileInfo &like, QFileDevice &out)
{
#if EMLX_UNIX_CALLS
    stampDescriptor(out.handle(), stamp.known || like.filePath().isEmpty()
                                      ? stamp
                                      : factsOf(like.absoluteFilePath(), Links::Followed).stamp);
#else
    if (stamp.known)
        out.setFileTime(QDateTime::fromMSecsSinceEpoch(stamp.modifiedSeconds * 1000 + stamp.modifiedNanoseconds / 1000000),
                        QFileDevice::FileModificationTime);
    if (like.filePath().isEmpty())
        return;
    if (!stamp.known && !copyWriteTime(like, out) && like.lastModified().isValid())
        out.setFileTime(like.lastModified(), QFileDevice::FileModificationTime);
    out.setPermissions(like.permissions() | QFileDevice::ReadOwner | QFileDevice::WriteOwner);
#endif
}

// Why the temporary file could not be made or named, called right after the failure. Qt reports a
// path too long for the system as a missing file, and a name it could not give as an unknown
// error; the system's own error number tells.
QString openFailureReason(const QString &path, const QFileDevice &file)
{
    const int error = errno;
#if EMLX_UNIX_CALLS
    if (::access(QFile::encodeName(path).constData(), F_OK) != 0 && errno == ENAMETOOLONG)
        return systemErrorText(ENAMETOOLONG);
#else
    Q_UNUSED(path);
#endif
    if (file.error() == QFileDevice::UnspecifiedError || file.error() == QFileDevice::NoError)
        return error != 0 ? systemErrorText(error) : QStringLiteral("the system gave no reason");
    return file.errorString();
}

FileResult writeFailure(const QString &path, const QString &reason)
{
    return FileResult::failure(NoteReason::CannotWrite, QStringLiteral("cannot write %1: %2").arg(quotedPath(path), reason));
}

FileResult existsAlready(const QString &path)
{
    return FileResult::failure(NoteReason::CannotWrite, QStringLiteral("%1 exists already").arg(quotedPath(path)));
}

// Writes through a temporary file with a name, renamed into place: the way where the system
// has no unnamed files.
FileResult writeThroughNamedTemporary(const QString &newPath, const FileStamp &stamp, const QFileInfo &like,
                                      const ContentWriter &write)
{
    // A short fixed temporary name: the final name may already use the whole name length.
    const QString temporaryPath =
        GetFolderPart(newPath) + temporaryFilePrefix + QStringLiteral("XXXXXX") + temporaryFileSuffix;
    auto out = std::make_unique<QTemporaryFile>(temporaryPath);
    if (!out->open())
        return writeFailure(newPath, openFailureReason(temporaryPath, *out));
    const InFlightFile inFlight(*out);
    QString error;
    if (!write(*out, &error) || !out->flush()) {
        if (error.isEmpty())
            error = out->errorString();
        return writeFailure(newPath, error);
    }
    takeTimeAndPermissionsOf(stamp, like, *out);
    // An unnamed temporary file gets its name here; that fails where the name would be too long.
    const QString temporaryName = out->fileName();
    if (temporaryName.isEmpty())
        return writeFailure(newPath, openFailureReason(temporaryPath, *out));
#if EMLX_UNIX_CALLS
    // Kept open past the rename, to see that what took the name is what was written.
    const int written = ::dup(out->handle());
#else
    const int written = -1;
#endif
    const auto closeWritten = qScopeGuard([written] {
#if EMLX_UNIX_CALLS
        if (written >= 0)
            ::close(written);
#endif
    });
    out->close();
    if (out->error() != QFileDevice::NoError)
        return writeFailure(newPath, out->errorString());
    // Qt may keep the handle until the object goes (on Windows, opened without delete sharing, a
    // file cannot be renamed while it is open): let it go before the rename.
    out->setAutoRemove(false);
    out.reset();
    std::error_code code;
    std::filesystem::rename(toFsPath(temporaryName), toFsPath(newPath), code);
    if (!code)
        return checkRenamed(newPath, written);
    QFile::remove(temporaryName);
    return writeFailure(newPath, systemErrorText(code));
}

#if EMLX_LINUX_IO
using DescriptorWriter = std::function<bool(int handle, QString *error)>;

QString temporaryNameBeside(const QString &path)
{
    static const char letters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    QString random;
    for (int i = 0; i < 6; ++i)
        random += QLatin1Char(letters[QRandomGenerator::global()->bounded(int(sizeof letters) - 1)]);
    return GetFolderPart(path) + temporaryFilePrefix + random + temporaryFileSuffix;
}

// Gives a finished unnamed file its name `name` in the folder `folder` (a descriptor, or
// AT_FDCWD with whole paths). A new name is linked straight to the file; an existing file is
// replaced at once by a temporary name renamed over it. `newPath` names the target in messages.
FileResult nameUnnamedFile(int handle, int folder, const QByteArray &name, const QString &newPath, bool failIfExists)
{
    // The process's descriptors as a folder, opened once: each link then looks up only the number.
    static const int descriptors = ::open("/proc/self/fd", O_PATH | O_DIRECTORY | O_CLOEXEC);
    char self[32];
    std::snprintf(self, sizeof self, descriptors >= 0 ? "%d" : "/proc/self/fd/%d", handle);
    const auto link = [&](const QByteArray &as) {
        if (::linkat(descriptors >= 0 ? descriptors : AT_FDCWD, self, folder, as.constData(), AT_SYMLINK_FOLLOW) == 0)
            return 0;
        const int error = errno;
        // Without /proc, linking the descriptor itself needs a privilege the process may have.
        if (error == ENOENT && ::linkat(handle, "", folder, as.constData(), AT_EMPTY_PATH) == 0)
            return 0;
        return error;
    };
    const int linked = link(name);
    if (linked == 0)
        return {};
    if (linked != EEXIST)
        return writeFailure(newPath, systemErrorText(linked));
    if (failIfExists)
        return existsAlready(newPath);
    for (;;) {
        const QString temporary = temporaryNameBeside(newPath);
        const QByteArray temporaryName =
            folder == AT_FDCWD ? QFile::encodeName(temporary) : QFile::encodeName(GetFileNamePart(temporary));
        const int error = link(temporaryName);
        if (error == EEXIST)
            continue;
        if (error != 0)
            return writeFailure(newPath, systemErrorText(error));
        const InFlightFile inFlight(temporary);
        if (::renameat(folder, temporaryName.constData(), folder, name.constData()) == 0)
            return checkRenamed(newPath, handle);
        const int renameError = errno;
        ::unlinkat(folder, temporaryName.constData(), 0);
        return writeFailure(newPath, systemErrorText(renameError));
    }
}

// Writes into an unnamed file in the target's folder, named only once complete; nothing when
// the file system makes no unnamed files (the caller then takes the named way). With `below` (a
// folder above the target) the target's folder is reached from there one step at a time, kept
// open for the next file, and a link on the way is refused; the target is made relative to it.
std::optional<FileResult> writeThroughUnnamedFile(const QString &newPath, bool failIfExists, const FileStamp &stamp,
                                                  const DescriptorWriter &write, const QString &below = {})
{
    const QString folder = GetFolderPart(newPath);
    const QByteArray encoded = QFile::encodeName(newPath);
    // Replacing a file takes a temporary name beside it; a path whose temporary name would be too
    // long is refused from the start, so that a second run does what the first one did.
    const qsizetype nameStart = encoded.lastIndexOf('/') + 1;
    if (nameStart + temporaryFilePrefix.size() + 6 + temporaryFileSuffix.size() >= PATH_MAX)
        return writeFailure(newPath, systemErrorText(ENAMETOOLONG));
    int folderHandle = AT_FDCWD;
    QByteArray name = encoded;
    if (!below.isEmpty() && nameStart > 1 && liesBelow(newPath, below)) {
        folderHandle = openFolder(QFile::encodeName(below), encoded.left(nameStart - 1), FolderSteps::NoLinks);
        if (folderHandle < 0 && errno == ELOOP)
            return FileResult::failure(NoteReason::RefusedInDestination,
                                       linkRefusal(QFile::decodeName(encoded.left(nameStart - 1))));
        if (folderHandle < 0)
            return writeFailure(newPath, systemErrorText(errno));
        name = encoded.mid(nameStart);
    }
    // Made with the output's permissions where the umask leaves them (no one can open an unnamed
    // file meanwhile), so that most outputs need no change of them afterwards.
    const mode_t mode = stamp.known ? outputMode(stamp) : 0600;
    const mode_t created = mode & ~processUmask();
    const int handle = folderHandle != AT_FDCWD
                           ? ::openat(folderHandle, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, mode)
                           : ::open(QFile::encodeName(folder.isEmpty() ? QStringLiteral(".") : folder).constData(),
                                    O_TMPFILE | O_WRONLY | O_CLOEXEC, mode);
    if (handle < 0)
        return std::nullopt;
    QString error;
    FileResult result;
    if (!write(handle, &error))
        result = writeFailure(newPath, error);
    if (result.ok) {
        // The disk starts on this file now, while the next messages are converted, instead of
        // on all of them at once in the flush at the end of the run.
        ::sync_file_range(handle, 0, 0, SYNC_FILE_RANGE_WRITE);
        stampDescriptor(handle, stamp, created);
        result = nameUnnamedFile(handle, folderHandle, name, newPath, failIfExists);
    }
    ::close(handle);
    return result;
}

// Writes the whole buffer at `*offset` of the descriptor, moving the offset on.
bool writeAt(int out, const char *data, qint64 size, loff_t *offset, QString *error)
{
    for (qint64 written = 0; written < size;) {
        const ssize_t n = ::pwrite(out, data + written, size_t(size - written), off_t(*offset));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            *error = systemErrorText(n < 0 ? errno : ENOSPC);
            return false;
        }
        written += n;
        *offset += n;
    }
    return true;
}

// Copies by the kernel, in steps small enough that a stop is seen soon. Where the kernel cannot
// copy between these files the rest goes through the buffered copy.
bool copyByKernel(SourceFile &source, int out, ByteRange range, QString *error, const KeepGoing &keepGoing)
{
    constexpr qint64 step = 2 << 20; // a few milliseconds even where the system is slow to find memory
    loff_t inOffset = range.offset;
    loff_t outOffset = 0;
    // A message that the bytes read already hold is written from them: for a small file one write
    // costs less than the kernel's copy.
    if (const std::optional<QByteArrayView> kept = source.keptBytes(range))
        return writeAt(out, kept->data(), kept->size(), &outOffset, error);
    qint64 left = range.length;
    while (left != 0) {
        if (keepGoing && !keepGoing()) {
            *error = QStringLiteral("stopped before the copy was complete");
            return false;
        }
        const qint64 want = left > 0 ? qMin(left, step) : step;
        const ssize_t copied = ::copy_file_range(source.handle(), &inOffset, out, &outOffset, size_t(want), 0);
        if (copied < 0 && errno == EINTR)
            continue;
        if (copied < 0 && (errno == EXDEV || errno == EINVAL || errno == ENOSYS || errno == EOPNOTSUPP))
            return copyRangeTo(
                source, {inOffset, left}, [&](const char *data, qint64 size, QString *failure) {
                    return writeAt(out, data, size, &outOffset, failure);
                },
                error, keepGoing);
        if (copied < 0) {
            const int failure = errno;
            *error = failure == ENOSPC || failure == EFBIG || failure == EDQUOT
                         ? systemErrorText(failure)
                         : QStringLiteral("cannot read %1: %2").arg(quotedPath(source.path()), systemErrorText(failure));
            return false;
        }
        if (copied == 0) {
            if (left > 0) {
                *error = QStringLiteral("%1 became shorter while it was read").arg(quotedPath(source.path()));
                return false;
            }
            break;
        }
        if (left > 0)
            left -= copied;
    }
    return true;
}
#endif

FileResult writeAtomically(const QString &newPath, bool failIfExists, const FileStamp &stamp, const QFileInfo &like,
                           const ContentWriter &write)
{
    if (failIfExists && QFileInfo::exists(newPath))
        return existsAlready(newPath);
#if EMLX_LINUX_IO
    const FileStamp known =
        stamp.known || like.filePath().isEmpty() ? stamp : factsOf(like.absoluteFilePath(), Links::Followed).stamp;
    const std::optional<FileResult> unnamed =
        writeThroughUnnamedFile(newPath, failIfExists, known, [&](int handle, QString *error) {
            QFile out;
            if (!out.open(handle, QIODevice::WriteOnly, QFileDevice::DontCloseHandle)) {
                *error = out.errorString();
                return false;
            }
            if (write(out, error) && out.flush())
                return true;
            if (error->isEmpty())
                *error = out.errorString();
            return false;
        });
    if (unnamed)
        return *unnamed;
#endif
    return writeThroughNamedTemporary(newPath, stamp, like, write);
}

} // namespace

FileResult writeFileAtomically(const QString &newPath, bool failIfExists, const QFileInfo &like,
                               const ContentWriter &write)
{
    return writeAtomically(newPath, failIfExists, FileStamp(), like, write);
}

FileResult writeFileAtomically(const QString &newPath, bool failIfExists, const FileStamp &like,
                               const ContentWriter &write)
{
    return writeAtomically(newPath, failIfExists, like, QFileInfo(), write);
}

FileResult CopyMessageFile(const QString &existing, const QString &newPath, bool failIfExists, ByteRange range,
                           const KeepGoing &keepGoing)
{
    SourceFile source(existing);
    if (!source.open())
        return FileResult::failure(NoteReason::CannotRead, source.failure());
    return CopyMessageFile(source, newPath, failIfExists, range, keepGoing);
}

FileResult CopyMessageFile(SourceFile &source, const QString &newPath, bool failIfExists, ByteRange range,
                           const KeepGoing &keepGoing, const FileStamp &like, const QString &below)
{
    const FileStamp stamp = like.known ? like : source.stamp();
    const QFileInfo likeFile = source.stamp().known ? QFileInfo() : QFileInfo(source.path());
#if EMLX_LINUX_IO
    if (failIfExists && QFileInfo::exists(newPath))
        return existsAlready(newPath);
    if (source.handle() >= 0) {
        const std::optional<FileResult> unnamed =
            writeThroughUnnamedFile(newPath, failIfExists, stamp, [&](int handle, QString *error) {
                return copyByKernel(source, handle, range, error, keepGoing);
            }, below);
        if (unnamed)
            return *unnamed;
    }
#endif
    // Where no folder is held open, the steps from `below` are looked at again right before the write.
    if (!below.isEmpty()) {
        const FileResult refusal = ensureRealFolderBelow(below, GetFolderPart(newPath), false);
        if (!refusal.ok)
            return refusal;
    }
    return writeAtomically(newPath, failIfExists, stamp, likeFile, [&](QFileDevice &out, QString *error) {
        return copyRangeTo(
            source, range,
            [&out](const char *data, qint64 size, QString *failure) {
                if (writeAll(out, data, size))
                    return true;
                *failure = out.errorString();
                return false;
            },
            error, keepGoing);
    });
}
