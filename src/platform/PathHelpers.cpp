#include "PathHelpers.h"

#include "InFlightFiles.h"
#include "RegularFile.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryFile>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>
#include <vector>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#include <unistd.h>
#endif

QString GetFileNamePart(const QString &path)
{
    return path.mid(path.lastIndexOf(u'/') + 1);
}

QString GetFolderPart(const QString &path)
{
    return path.left(path.lastIndexOf(u'/') + 1);
}

QString QuotedPath(const QString &path)
{
    return u'"' + QDir::toNativeSeparators(path) + u'"';
}

QString DropPathRoot(const QString &folder)
{
    qsizetype start = 0;
    if (folder.size() >= 2 && folder[1] == u':' && folder[0].isLetter())
        start = 2;
    while (start < folder.size() && folder[start] == u'/')
        ++start;
    return folder.mid(start);
}

namespace {

std::filesystem::path toFsPath(const QString &path)
{
    return std::filesystem::path(QDir::toNativeSeparators(path).toStdU16String());
}

QString systemMessage(const std::error_code &code)
{
    return QString::fromLocal8Bit(code.message());
}

QString fileNameOf(const QIODevice &device)
{
    const auto *file = qobject_cast<const QFileDevice *>(&device);
    return file ? file->fileName() : QString();
}

// Copies `length` bytes (all that is left when negative) from `in` to `out` in bounded chunks,
// small enough that a stop is seen soon even on a slow disk.
bool CopyBytes(QIODevice &in, QIODevice &out, qint64 length, QString *error, const KeepGoing &keepGoing)
{
    constexpr qint64 chunk = 256 << 10;
    std::vector<char> buffer(size_t(length >= 0 ? qMin(length, chunk) : chunk));
    qint64 left = length;
    while (left != 0) {
        if (keepGoing && !keepGoing()) {
            *error = QStringLiteral("stopped before the copy was complete");
            return false;
        }
        const qint64 want = left > 0 ? qMin<qint64>(left, qint64(buffer.size())) : qint64(buffer.size());
        const qint64 got = in.read(buffer.data(), want);
        if (got < 0) {
            *error = QStringLiteral("cannot read %1: %2").arg(QuotedPath(fileNameOf(in)), in.errorString());
            return false;
        }
        if (got == 0) {
            if (left > 0) {
                *error = QStringLiteral("%1 became shorter while it was read").arg(QuotedPath(fileNameOf(in)));
                return false;
            }
            break;
        }
        if (!WriteAll(out, buffer.data(), got)) {
            *error = out.errorString();
            return false;
        }
        if (left > 0)
            left -= got;
    }
    return true;
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
    return FileResult::failure(QStringLiteral("cannot create folder %1: %2").arg(QuotedPath(folder), reason));
}

bool WriteAll(QIODevice &out, const char *data, qint64 size)
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
#endif

// The output keeps the source's modification time and its permissions within the umask; a
// temporary file is private to its owner, so the owner may always read and write the output.
void takeTimeAndPermissionsOf(const QFileInfo &like, QFileDevice &out)
{
#ifdef Q_OS_UNIX
    struct stat source {
    };
    if (like.filePath().isEmpty() || ::stat(QFile::encodeName(like.absoluteFilePath()).constData(), &source) != 0)
        return;
#ifdef __APPLE__
    const timespec times[2] = {{0, UTIME_OMIT}, source.st_mtimespec};
#else
    const timespec times[2] = {{0, UTIME_OMIT}, source.st_mtim};
#endif
    ::futimens(out.handle(), times);
    ::fchmod(out.handle(), ((source.st_mode & 0777) & ~processUmask()) | S_IRUSR | S_IWUSR);
#else
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

} // namespace

FileResult WriteFileAtomically(const QString &newPath, bool failIfExists, const QFileInfo &like,
                               const ContentWriter &write)
{
    if (failIfExists && QFileInfo::exists(newPath))
        return FileResult::failure(QStringLiteral("%1 exists already").arg(QuotedPath(newPath)));

    // A short fixed temporary name: the final name may already use the whole name length.
    const QString temporaryPath =
        GetFolderPart(newPath) + temporaryFilePrefix + QStringLiteral("XXXXXX") + temporaryFileSuffix;
    QTemporaryFile out(temporaryPath);
    if (!out.open())
        return FileResult::failure(
            QStringLiteral("cannot write %1: %2").arg(QuotedPath(newPath), openFailureReason(temporaryPath, out)));
    const InFlightFile inFlight(out);
    QString error;
    if (!write(out, &error) || !out.flush()) {
        if (error.isEmpty())
            error = out.errorString();
        return FileResult::failure(QStringLiteral("cannot write %1: %2").arg(QuotedPath(newPath), error));
    }
    takeTimeAndPermissionsOf(like, out);
    // An unnamed temporary file gets its name here; that fails where the name would be too long.
    const QString temporaryName = out.fileName();
    if (temporaryName.isEmpty())
        return FileResult::failure(
            QStringLiteral("cannot write %1: %2").arg(QuotedPath(newPath), openFailureReason(temporaryPath, out)));
    out.close();
    if (out.error() != QFileDevice::NoError)
        return FileResult::failure(QStringLiteral("cannot write %1: %2").arg(QuotedPath(newPath), out.errorString()));

    std::error_code code;
    std::filesystem::rename(toFsPath(temporaryName), toFsPath(newPath), code);
    if (code)
        return FileResult::failure(QStringLiteral("cannot write %1: %2").arg(QuotedPath(newPath), systemMessage(code)));
    out.setAutoRemove(false);
    return {};
}

FileResult CopyMessageFile(const QString &existing, const QString &newPath, bool failIfExists, ByteRange range,
                           const KeepGoing &keepGoing)
{
    RegularFile in(existing);
    if (!in.openForReading())
        return FileResult::failure(in.failure());
    if (range.offset > 0 && !in.seek(range.offset))
        return FileResult::failure(QStringLiteral("cannot read %1: %2").arg(QuotedPath(existing), in.errorString()));
    return WriteFileAtomically(newPath, failIfExists, QFileInfo(in), [&](QFileDevice &out, QString *error) {
        return CopyBytes(in, out, range.length, error, keepGoing);
    });
}
