#include "PathHelpers.h"

#include "InFlightFiles.h"
#include "RegularFile.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryFile>

#include <filesystem>
#include <system_error>
#include <vector>

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

FileResult WriteFileAtomically(const QString &newPath, bool failIfExists, const QFileInfo &like,
                               const ContentWriter &write)
{
    if (failIfExists && QFileInfo::exists(newPath))
        return FileResult::failure(QStringLiteral("%1 exists already").arg(QuotedPath(newPath)));

    // A short fixed temporary name: the final name may already use the whole name length.
    QTemporaryFile out(GetFolderPart(newPath) + QStringLiteral(".emlx2eml-XXXXXX.tmp"));
    if (!out.open())
        return FileResult::failure(QStringLiteral("cannot write %1: %2").arg(QuotedPath(newPath), out.errorString()));
    const InFlightFile inFlight(out);
    QString error;
    if (!write(out, &error) || !out.flush()) {
        if (error.isEmpty())
            error = out.errorString();
        return FileResult::failure(QStringLiteral("cannot write %1: %2").arg(QuotedPath(newPath), error));
    }
    if (like.lastModified().isValid())
        out.setFileTime(like.lastModified(), QFileDevice::FileModificationTime);
    // A temporary file is private to its owner; the output gets the source's permissions.
    out.setPermissions(like.permissions() | QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    out.close();
    if (out.error() != QFileDevice::NoError)
        return FileResult::failure(QStringLiteral("cannot write %1: %2").arg(QuotedPath(newPath), out.errorString()));

    std::error_code code;
    std::filesystem::rename(toFsPath(out.fileName()), toFsPath(newPath), code);
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
