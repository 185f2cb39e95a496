#include "DestinationFolder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSet>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#else
#include <io.h>
#endif

namespace {

std::filesystem::path toFsPath(const QString &path)
{
    return std::filesystem::path(QDir::toNativeSeparators(path).toStdU16String());
}

QString systemMessage(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

QString parentOf(const QString &path)
{
    return QDir::cleanPath(path + QStringLiteral("/.."));
}

// Why nothing may be written at this step of a folder path; empty when it is a real folder, or
// missing.
QString refusalOf(const QString &step)
{
    const QFileInfo info(step);
    if (info.isSymLink() || info.isJunction())
        return QStringLiteral("%1 is a link; nothing is written through links in the destination")
            .arg(QuotedPath(step));
    if (info.exists() && !info.isDir())
        return QStringLiteral("cannot create folder %1: a file of that name is in the way").arg(QuotedPath(step));
    return {};
}

QString inOtherLetterCase(const QString &name)
{
    const QString upper = name.toUpper();
    return upper != name ? upper : name.toLower();
}

// The file system a path lies on, where the platform says so.
std::optional<quint64> deviceOf(const QString &path)
{
#ifdef Q_OS_UNIX
    struct stat status {
    };
    if (::stat(QFile::encodeName(path).constData(), &status) == 0)
        return quint64(status.st_dev);
#else
    Q_UNUSED(path);
#endif
    return std::nullopt;
}

FileResult flushFailure(const QString &path, const QString &reason)
{
    return FileResult::failure(
        QStringLiteral("cannot make sure that %1 is on the disk: %2").arg(QuotedPath(path), reason));
}

} // namespace

bool LiesBelow(const QString &path, const QString &folder)
{
    const QString inner = QDir::cleanPath(QDir::fromNativeSeparators(path));
    QString outer = QDir::cleanPath(QDir::fromNativeSeparators(folder));
    if (!outer.endsWith(u'/'))
        outer += u'/';
    return inner.size() > outer.size() && inner.startsWith(outer);
}

FileResult EnsureRealFolderBelow(const QString &top, const QString &folder, bool create)
{
    const QString base = QDir::cleanPath(QDir::fromNativeSeparators(top));
    const QString target = QDir::cleanPath(QDir::fromNativeSeparators(folder));
    if (target == base)
        return {};
    if (!LiesBelow(target, base))
        return FileResult::failure(QStringLiteral("%1 does not lie inside %2; nothing is written there")
                                       .arg(QuotedPath(target), QuotedPath(base)));
    QString path = base.endsWith(u'/') ? base.chopped(1) : base;
    for (const QString &step : target.mid(base.size()).split(u'/', Qt::SkipEmptyParts)) {
        path += u'/' + step;
        QString refusal = refusalOf(path);
        if (refusal.isEmpty() && !QFileInfo::exists(path)) {
            if (!create)
                return {};
            std::error_code code;
            std::filesystem::create_directory(toFsPath(path), code);
            refusal = refusalOf(path); // something else may have taken the name meanwhile
            if (refusal.isEmpty() && !QFileInfo(path).isDir())
                refusal = QStringLiteral("cannot create folder %1: %2")
                              .arg(QuotedPath(path), QString::fromLocal8Bit(code.message()));
        }
        if (!refusal.isEmpty())
            return FileResult::failure(refusal);
    }
    return {};
}

std::optional<bool> IgnoresLetterCase(const QString &path)
{
    QString step = QDir::cleanPath(QFileInfo(QDir::fromNativeSeparators(path)).absoluteFilePath());
    while (!QFileInfo::exists(step)) {
        const QString up = parentOf(step);
        if (up == step)
            return std::nullopt;
        step = up;
    }
    const std::optional<quint64> device = deviceOf(step);
    for (;;) {
        const QString name = GetFileNamePart(step);
        const QString other = inOtherLetterCase(name);
        if (other != name) {
            std::error_code code;
            const bool same = std::filesystem::equivalent(toFsPath(step), toFsPath(GetFolderPart(step) + other), code);
            return same && !code;
        }
        // Folders above count only while they are on the same file system.
        const QString up = parentOf(step);
        if (up == step || !device || deviceOf(up) != device)
            return std::nullopt;
        step = up;
    }
}

void RemoveLeftoverTemporaryFiles(const QString &folder, const QDateTime &before)
{
    static const QRegularExpression ownName(
        QStringLiteral("^%1[A-Za-z0-9]{6}%2$")
            .arg(QRegularExpression::escape(temporaryFilePrefix), QRegularExpression::escape(temporaryFileSuffix)));
    const QDir dir(folder);
    const QStringList candidates = dir.entryList({temporaryFilePrefix + u'*' + temporaryFileSuffix},
                                                 QDir::Files | QDir::Hidden | QDir::System | QDir::NoSymLinks);
    for (const QString &name : candidates) {
        const QFileInfo info(dir.filePath(name));
        // Only a file no newer than the run's start: a run going on beside this one keeps its own.
        if (ownName.match(name).hasMatch() && info.isFile() && !info.isSymLink() && info.lastModified() <= before &&
            info.metadataChangeTime() <= before)
            QFile::remove(info.filePath());
    }
}

FileResult FlushToDisk(const QStringList &folders, const QStringList &files)
{
#if defined(__linux__) && !defined(EMLX_PORTABLE_IO)
    QSet<quint64> flushed;
    for (const QString &folder : folders) {
        const int handle = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (handle < 0)
            return FlushEachFile(files);
        struct stat status {
        };
        if (::fstat(handle, &status) != 0 || flushed.contains(quint64(status.st_dev))) {
            ::close(handle);
            continue;
        }
        const int result = ::syncfs(handle);
        const int error = errno;
        ::close(handle);
        if (result != 0 && error == ENOSYS)
            return FlushEachFile(files);
        if (result != 0)
            return flushFailure(folder, systemMessage(error));
        flushed.insert(quint64(status.st_dev));
    }
    return {};
#else
    Q_UNUSED(folders);
    return FlushEachFile(files);
#endif
}

FileResult FlushEachFile(const QStringList &files)
{
    for (const QString &path : files) {
        QFile file(path);
#ifdef Q_OS_UNIX
        if (!file.open(QIODevice::ReadOnly))
            return flushFailure(path, file.errorString());
        if (::fsync(file.handle()) != 0)
            return flushFailure(path, systemMessage(errno));
#else
        // Flushing needs a handle that may write.
        if (!file.open(QIODevice::ReadWrite | QIODevice::ExistingOnly))
            return flushFailure(path, file.errorString());
        if (::_commit(file.handle()) != 0)
            return flushFailure(path, systemMessage(errno));
#endif
    }
    return {};
}
