#include "platform/PathHelpers.h"

#include "platform/InFlightFiles.h"
#include "platform/RegularFile.h"
#include "platform/SourceFile.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QTemporaryFile>

#include <cerrno>
#include <climits>
#include <cstring>
#include <filesystem>
#include <optional>
#include <system_error>
#include <vector>

#ifdef Q_OS_WIN
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <io.h>
#include <windows.h>
#endif
#ifdef Q_OS_UNIX
#include <sys/stat.h>
#include <unistd.h>
#endif
#if defined(__linux__) && !defined(EMLX_PORTABLE_IO)
#define UNNAMED_TEMPORARIES 1
#include <fcntl.h>
#else
#define UNNAMED_TEMPORARIES 0
#endif

QString GetFileNamePart(const QString &path)
{
    return path.mid(path.lastIndexOf(u'/') + 1);
}

QString GetFolderPart(const QString &path)
{
    return path.left(path.lastIndexOf(u'/') + 1);
}

QString quotedPath(const QString &path)
{
    return u'"' + QDir::toNativeSeparators(path) + u'"';
}

QString dropPathRoot(const QString &folder)
{
    qsizetype start = 0;
    if (folder.size() >= 2 && folder[1] == u':' && folder[0].isLetter())
        start = 2;
    while (start < folder.size() && folder[start] == u'/')
        ++start;
    return folder.mid(start);
}

QString withTrailingSlash(const QString &folder)
{
    return folder.endsWith(u'/') ? folder : folder + u'/';
}

std::filesystem::path toFsPath(const QString &path)
{
    QString native = QDir::toNativeSeparators(path);
#ifdef Q_OS_WIN
    // Paths of any length: the system's own form for them ("C:\..." as "\\?\C:\...").
    if (native.size() >= 3 && native[1] == u':' && native[2] == u'\\')
        native.prepend(QStringLiteral("\\\\?\\"));
    else if (native.startsWith(QStringLiteral("\\\\")) && !native.startsWith(QStringLiteral("\\\\?\\")))
        native.replace(0, 2, QStringLiteral("\\\\?\\UNC\\"));
#endif
    return std::filesystem::path(native.toStdU16String());
}

namespace {

QString systemMessage(const std::error_code &code)
{
    return QString::fromLocal8Bit(code.message());
}

} // namespace

FileResult EnsureFolderExists(const QString &folder)
{
    if (folder.isEmpty() || QFileInfo(folder).isDir())
        return {};
    std::error_code code;
    std::filesystem::create_directories(toFsPath(folder), code);
    if (QFileInfo(folder).isDir())
        return {};
    const QString reason = !code || code == std::errc::file_exists || code == std::errc::not_a_directory
                               ? QStringLiteral("a file of that name is in the way")
                               : systemMessage(code);
    return FileResult::failure(QStringLiteral("cannot create folder %1: %2").arg(quotedPath(folder), reason));
}

bool writeAll(QIODevice &out, const char *data, qint64 size)
{
    while (size > 0) {
        const qint64 written = out.write(data, size);
        if (written <= 0)
            return false;
        data += written;
        size -= written;
    }
    return true;
}

namespace {

#ifdef Q_OS_UNIX
// The process's umask, read once: it only narrows what outputs may allow.
mode_t processUmask()
{
    static const mode_t mask = [] {
#if defined(__linux__) && !defined(EMLX_PORTABLE_IO)
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

FileStamp stampOf(const QFileInfo &like)
{
    struct stat source {
    };
    if (like.filePath().isEmpty() || ::stat(QFile::encodeName(like.absoluteFilePath()).constData(), &source) != 0)
        return {};
    return fileStampOf(source);
}

// The output keeps the source's modification time and its permissions within the umask; a
// temporary file is private to its owner, so the owner may always read and write the output.
void stampDescriptor(int handle, const FileStamp &like)
{
    if (!like.known)
        return;
    const timespec times[2] = {{0, UTIME_OMIT}, {time_t(like.modifiedSeconds), long(like.modifiedNanoseconds)}};
    ::futimens(handle, times);
    ::fchmod(handle, ((mode_t(like.permissions) & 0777) & ~processUmask()) | S_IRUSR | S_IWUSR);
}
#endif

// The stamp where it is known, else what `like` says, read by its name.
void takeTimeAndPermissionsOf(const FileStamp &stamp, const QFileInfo &like, QFileDevice &out)
{
#ifdef Q_OS_UNIX
    stampDescriptor(out.handle(), stamp.known ? stamp : stampOf(like));
#else
    Q_UNUSED(stamp);
    if (like.filePath().isEmpty())
        return;
#ifdef Q_OS_WIN
    // Windows keeps file times in 100 ns steps, Qt's in milliseconds: the system's own, whole.
    WIN32_FILE_ATTRIBUTE_DATA source;
    const auto handle = reinterpret_cast<HANDLE>(_get_osfhandle(out.handle()));
    if (handle == INVALID_HANDLE_VALUE ||
        !GetFileAttributesExW(reinterpret_cast<const wchar_t *>(QDir::toNativeSeparators(like.filePath()).utf16()),
                              GetFileExInfoStandard, &source) ||
        !SetFileTime(handle, nullptr, nullptr, &source.ftLastWriteTime))
#endif
        if (like.lastModified().isValid())
            out.setFileTime(like.lastModified(), QFileDevice::FileModificationTime);
    out.setPermissions(like.permissions() | QFileDevice::ReadOwner | QFileDevice::WriteOwner);
#endif
}

// Why the temporary file could not be made or named. Qt reports a path too long for the system
// as a missing file; asking the system tells.
QString openFailureReason(const QString &path, const QFileDevice &file)
{
#ifdef Q_OS_UNIX
    if (::access(QFile::encodeName(path).constData(), F_OK) != 0 && errno == ENAMETOOLONG)
        return QString::fromLocal8Bit(std::strerror(ENAMETOOLONG));
#else
    Q_UNUSED(path);
#endif
    return file.errorString();
}

FileResult writeFailure(const QString &path, const QString &reason)
{
    return FileResult::failure(QStringLiteral("cannot write %1: %2").arg(quotedPath(path), reason));
}

QString temporaryNameBeside(const QString &path)
{
    static const char letters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    QString random;
    for (int i = 0; i < 6; ++i)
        random += QLatin1Char(letters[QRandomGenerator::global()->bounded(int(sizeof letters) - 1)]);
    return GetFolderPart(path) + temporaryFilePrefix + random + temporaryFileSuffix;
}

// Writes through a temporary file with a name, renamed into place: the way where the system
// has no unnamed files.
FileResult writeThroughNamedTemporary(const QString &newPath, const FileStamp &stamp, const QFileInfo &like,
                                      const ContentWriter &write)
{
    // A short fixed temporary name: the final name may already use the whole name length.
    const QString temporaryPath =
        GetFolderPart(newPath) + temporaryFilePrefix + QStringLiteral("XXXXXX") + temporaryFileSuffix;
    QString temporaryName;
    {
        QTemporaryFile out(temporaryPath);
        if (!out.open())
            return writeFailure(newPath, openFailureReason(temporaryPath, out));
        const InFlightFile inFlight(out);
        QString error;
        if (!write(out, &error) || !out.flush()) {
            if (error.isEmpty())
                error = out.errorString();
            return writeFailure(newPath, error);
        }
        takeTimeAndPermissionsOf(stamp, like, out);
        // An unnamed temporary file gets its name here; that fails where the name would be too long.
        temporaryName = out.fileName();
        if (temporaryName.isEmpty())
            return writeFailure(newPath, openFailureReason(temporaryPath, out));
        out.close();
        if (out.error() != QFileDevice::NoError)
            return writeFailure(newPath, out.errorString());
        // QTemporaryFile lets go of its handle only when it goes, and Windows renames no file
        // that is open without delete sharing: the file is kept and renamed once it is closed.
        out.setAutoRemove(false);
    }
    std::error_code code;
    std::filesystem::rename(toFsPath(temporaryName), toFsPath(newPath), code);
    if (code) {
        QFile::remove(temporaryName);
        return writeFailure(newPath, systemMessage(code));
    }
    return {};
}

#if UNNAMED_TEMPORARIES
using DescriptorWriter = std::function<bool(int handle, QString *error)>;

QString errnoMessage(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

// Gives a finished unnamed file its name. A new name is linked straight to the file; an
// existing file is replaced at once by a temporary name renamed over it.
FileResult nameUnnamedFile(int handle, const QString &newPath, bool failIfExists)
{
    const QByteArray self = "/proc/self/fd/" + QByteArray::number(handle);
    const QByteArray target = QFile::encodeName(newPath);
    const auto link = [&](const QByteArray &name) {
        if (::linkat(AT_FDCWD, self.constData(), AT_FDCWD, name.constData(), AT_SYMLINK_FOLLOW) == 0)
            return 0;
        const int error = errno;
        // Without /proc, linking the descriptor itself needs a privilege the process may have.
        if (error == ENOENT && ::linkat(handle, "", AT_FDCWD, name.constData(), AT_EMPTY_PATH) == 0)
            return 0;
        return error;
    };
    const int linked = link(target);
    if (linked == 0)
        return {};
    if (linked != EEXIST)
        return writeFailure(newPath, errnoMessage(linked));
    if (failIfExists)
        return FileResult::failure(QStringLiteral("%1 exists already").arg(quotedPath(newPath)));
    for (;;) {
        const QString temporary = temporaryNameBeside(newPath);
        const QByteArray temporaryName = QFile::encodeName(temporary);
        const int error = link(temporaryName);
        if (error == EEXIST)
            continue;
        if (error != 0)
            return writeFailure(newPath, errnoMessage(error));
        const InFlightFile inFlight(temporary);
        if (::rename(temporaryName.constData(), target.constData()) == 0)
            return {};
        const int renameError = errno;
        ::unlink(temporaryName.constData());
        return writeFailure(newPath, errnoMessage(renameError));
    }
}

// Writes into an unnamed file in the target's folder, named only once complete; nothing when
// the file system makes no unnamed files (the caller then takes the named way).
std::optional<FileResult> writeThroughUnnamedFile(const QString &newPath, bool failIfExists, const FileStamp &stamp,
                                                  const DescriptorWriter &write)
{
    const QString folder = GetFolderPart(newPath);
    // Replacing a file takes a temporary name beside it; a path whose temporary name would be too
    // long is refused from the start, so that a second run does what the first one did.
    if (QFile::encodeName(temporaryNameBeside(newPath)).size() >= PATH_MAX)
        return writeFailure(newPath, errnoMessage(ENAMETOOLONG));
    const int handle = ::open(QFile::encodeName(folder.isEmpty() ? QStringLiteral(".") : folder).constData(),
                              O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600);
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
        stampDescriptor(handle, stamp);
        result = nameUnnamedFile(handle, newPath, failIfExists);
    }
    ::close(handle);
    return result;
}

// Copies by the kernel, in steps small enough that a stop is seen soon. Where the kernel cannot
// copy between these files the copy goes on through a buffer.
bool copyByKernel(SourceFile &source, int out, ByteRange range, QString *error, const KeepGoing &keepGoing)
{
    constexpr qint64 step = 2 << 20; // a few milliseconds even where the system is slow to find memory
    constexpr qint64 bufferStep = 256 << 10;
    loff_t inOffset = range.offset;
    loff_t outOffset = 0;
    qint64 left = range.length;
    bool byKernel = true;
    std::vector<char> buffer;
    while (left != 0) {
        if (keepGoing && !keepGoing()) {
            *error = QStringLiteral("stopped before the copy was complete");
            return false;
        }
        ssize_t copied = 0;
        if (byKernel) {
            const qint64 want = left > 0 ? qMin(left, step) : step;
            copied = ::copy_file_range(source.handle(), &inOffset, out, &outOffset, size_t(want), 0);
            if (copied < 0 && errno == EINTR)
                continue;
            if (copied < 0 && (errno == EXDEV || errno == EINVAL || errno == ENOSYS || errno == EOPNOTSUPP)) {
                byKernel = false;
                continue;
            }
            if (copied < 0) {
                const int failure = errno;
                *error =
                    failure == ENOSPC || failure == EFBIG || failure == EDQUOT
                        ? errnoMessage(failure)
                        : QStringLiteral("cannot read %1: %2").arg(quotedPath(source.path()), errnoMessage(failure));
                return false;
            }
        } else {
            const qint64 want = left > 0 ? qMin(left, bufferStep) : bufferStep;
            buffer.resize(size_t(want));
            qint64 got = 0;
            if (!source.readAt(inOffset, buffer.data(), want, &got)) {
                *error = QStringLiteral("cannot read %1: %2").arg(quotedPath(source.path()), source.errorString());
                return false;
            }
            for (qint64 written = 0; written < got;) {
                const ssize_t n = ::pwrite(out, buffer.data() + written, size_t(got - written), off_t(outOffset));
                if (n < 0 && errno == EINTR)
                    continue;
                if (n <= 0) {
                    *error = errnoMessage(n < 0 ? errno : ENOSPC);
                    return false;
                }
                written += n;
                outOffset += n;
            }
            inOffset += got;
            copied = ssize_t(got);
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

// Copies through a buffer, in bounded chunks, small enough that a stop is seen soon even on a
// slow disk.
bool copyThroughBuffer(SourceFile &source, QIODevice &out, ByteRange range, QString *error, const KeepGoing &keepGoing)
{
    constexpr qint64 chunk = 256 << 10;
    std::vector<char> buffer(size_t(range.length >= 0 ? qMin(range.length, chunk) : chunk));
    qint64 offset = range.offset;
    qint64 left = range.length;
    while (left != 0) {
        if (keepGoing && !keepGoing()) {
            *error = QStringLiteral("stopped before the copy was complete");
            return false;
        }
        const qint64 want = left > 0 ? qMin<qint64>(left, qint64(buffer.size())) : qint64(buffer.size());
        qint64 got = 0;
        if (!source.readAt(offset, buffer.data(), want, &got)) {
            *error = QStringLiteral("cannot read %1: %2").arg(quotedPath(source.path()), source.errorString());
            return false;
        }
        if (got == 0) {
            if (left > 0) {
                *error = QStringLiteral("%1 became shorter while it was read").arg(quotedPath(source.path()));
                return false;
            }
            break;
        }
        if (!writeAll(out, buffer.data(), got)) {
            *error = out.errorString();
            return false;
        }
        offset += got;
        if (left > 0)
            left -= got;
    }
    return true;
}

FileResult writeAtomically(const QString &newPath, bool failIfExists, const FileStamp &stamp, const QFileInfo &like,
                           const ContentWriter &write)
{
    if (failIfExists && QFileInfo::exists(newPath))
        return FileResult::failure(QStringLiteral("%1 exists already").arg(quotedPath(newPath)));
#if UNNAMED_TEMPORARIES
    const FileStamp known = stamp.known ? stamp : stampOf(like);
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
        return FileResult::failure(source.failure());
    return CopyMessageFile(source, newPath, failIfExists, range, keepGoing);
}

FileResult CopyMessageFile(SourceFile &source, const QString &newPath, bool failIfExists, ByteRange range,
                           const KeepGoing &keepGoing)
{
    const QFileInfo like = source.stamp().known ? QFileInfo() : QFileInfo(source.path());
#if UNNAMED_TEMPORARIES
    if (failIfExists && QFileInfo::exists(newPath))
        return FileResult::failure(QStringLiteral("%1 exists already").arg(quotedPath(newPath)));
    if (source.handle() >= 0) {
        const std::optional<FileResult> unnamed =
            writeThroughUnnamedFile(newPath, failIfExists, source.stamp(), [&](int handle, QString *error) {
                return copyByKernel(source, handle, range, error, keepGoing);
            });
        if (unnamed)
            return *unnamed;
    }
#endif
    return writeAtomically(newPath, failIfExists, source.stamp(), like, [&](QFileDevice &out, QString *error) {
        return copyThroughBuffer(source, out, range, error, keepGoing);
    });
}

#ifdef Q_OS_UNIX
FileStamp fileStampOf(const struct stat &status)
{
    FileStamp stamp;
    stamp.known = true;
    stamp.permissions = unsigned(status.st_mode & 07777);
#ifdef __APPLE__
    stamp.modifiedSeconds = qint64(status.st_mtimespec.tv_sec);
    stamp.modifiedNanoseconds = qint64(status.st_mtimespec.tv_nsec);
#else
    stamp.modifiedSeconds = qint64(status.st_mtim.tv_sec);
    stamp.modifiedNanoseconds = qint64(status.st_mtim.tv_nsec);
#endif
    return stamp;
}
#endif
