#include "PathHelpers.h"

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

QString quoted(const QString &path)
{
    return u'"' + QDir::toNativeSeparators(path) + u'"';
}

std::filesystem::path toFsPath(const QString &path)
{
    return std::filesystem::path(QDir::toNativeSeparators(path).toStdU16String());
}

QString systemMessage(const std::error_code &code)
{
    return QString::fromLocal8Bit(code.message());
}

bool copyRange(QFile &in, QFileDevice &out, qint64 length, QString *error)
{
    constexpr qint64 chunk = 1 << 20;
    std::vector<char> buffer(static_cast<size_t>(length >= 0 ? qMin(length, chunk) : chunk));
    qint64 left = length;
    while (left != 0) {
        const qint64 want = left > 0 ? qMin<qint64>(left, qint64(buffer.size())) : qint64(buffer.size());
        const qint64 got = in.read(buffer.data(), want);
        if (got < 0) {
            *error = QStringLiteral("cannot read %1: %2").arg(quoted(in.fileName()), in.errorString());
            return false;
        }
        if (got == 0) {
            if (left > 0) {
                *error = QStringLiteral("cannot read %1: the file became shorter while it was copied")
                             .arg(quoted(in.fileName()));
                return false;
            }
            break;
        }
        if (out.write(buffer.data(), got) != got) {
            *error = QStringLiteral("cannot write %1: %2").arg(quoted(out.fileName()), out.errorString());
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
    if (!code)
        code = std::make_error_code(std::errc::not_a_directory);
    return FileResult::failure(QStringLiteral("cannot create folder %1: %2").arg(quoted(folder), systemMessage(code)));
}

FileResult CopyMessageFile(const QString &existing, const QString &newPath, bool failIfExists, ByteRange range)
{
    QFile in(existing);
    if (!in.open(QIODevice::ReadOnly))
        return FileResult::failure(QStringLiteral("cannot open %1: %2").arg(quoted(existing), in.errorString()));
    if (range.offset > 0 && !in.seek(range.offset))
        return FileResult::failure(QStringLiteral("cannot read %1: %2").arg(quoted(existing), in.errorString()));
    if (failIfExists && QFileInfo::exists(newPath))
        return FileResult::failure(QStringLiteral("%1 exists already").arg(quoted(newPath)));

    // A short fixed temporary name: the final name may already use the whole name length.
    QTemporaryFile out(GetFolderPart(newPath) + QStringLiteral(".emlx2eml-XXXXXX.tmp"));
    if (!out.open())
        return FileResult::failure(QStringLiteral("cannot write %1: %2").arg(quoted(newPath), out.errorString()));

    QString error;
    if (!copyRange(in, out, range.length, &error) || !out.flush())
        return FileResult::failure(error.isEmpty() ? QStringLiteral("cannot write %1: %2").arg(quoted(newPath), out.errorString())
                                                   : error);
    const QFileInfo source(in);
    if (source.lastModified().isValid())
        out.setFileTime(source.lastModified(), QFileDevice::FileModificationTime);
    // A temporary file is private to its owner; the output gets the source's permissions.
    out.setPermissions(source.permissions() | QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    out.close();
    if (out.error() != QFileDevice::NoError)
        return FileResult::failure(QStringLiteral("cannot write %1: %2").arg(quoted(newPath), out.errorString()));

    std::error_code code;
    std::filesystem::rename(toFsPath(out.fileName()), toFsPath(newPath), code);
    if (code)
        return FileResult::failure(QStringLiteral("cannot write %1: %2").arg(quoted(newPath), systemMessage(code)));
    out.setAutoRemove(false);
    return {};
}
