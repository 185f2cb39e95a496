#include "platform/DestinationFolder.h"

#include "platform/AtomicWriter.h"
#include "platform/RegularFile.h"
#include "platform/SystemCalls.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QSet>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>
#include <utility>

#if EMLX_UNIX_CALLS
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#else
#include <io.h>
#endif

namespace {

FileResult fileInTheWay(const QString &path)
{
    return FileResult::failure(NoteReason::CannotMakeFolder,
                               QStringLiteral("cannot create folder %1: a file of that name is in the way").arg(quotedPath(path)));
}

FileResult cannotMakeFolder(const QString &path, const QString &reason)
{
    return FileResult::failure(NoteReason::CannotMakeFolder,
                               QStringLiteral("cannot create folder %1: %2").arg(quotedPath(path), reason));
}

QString parentOf(const QString &path)
{
    return QDir::cleanPath(path + QStringLiteral("/.."));
}

// Why nothing may be written at this step of a folder path; ok when it is a real folder, or
// missing.
FileResult refusalOf(const QString &step)
{
    const QFileInfo info(step);
    if (info.isSymLink() || info.isJunction())
        return FileResult::failure(NoteReason::RefusedInDestination, linkRefusal(step));
    if (info.exists() && !info.isDir())
        return fileInTheWay(step);
    return {};
}

// The file system a path lies on, where the platform says so.
std::optional<quint64> deviceOf(const QString &path)
{
#if EMLX_UNIX_CALLS
    struct stat status {
    };
    if (::stat(QFile::encodeName(path).constData(), &status) == 0)
        return quint64(status.st_dev);
#else
    Q_UNUSED(path);
#endif
    return std::nullopt;
}

FileResult flushFailure(const QString &path, const QString &reason, QString *failedPath)
{
    if (failedPath)
        *failedPath = path;
    return FileResult::failure(NoteReason::NotOnDisk,
                               QStringLiteral("cannot make sure that %1 is on the disk: %2").arg(quotedPath(path), reason));
}

} // namespace

bool liesBelow(const QString &path, const QString &folder)
{
    const QString inner = QDir::cleanPath(QDir::fromNativeSeparators(path));
    const QString outer = withTrailingSlash(QDir::cleanPath(QDir::fromNativeSeparators(folder)));
    return inner.size() > outer.size() && inner.startsWith(outer);
}

FileResult ensureRealFolderBelow(const QString &top, const QString &folder, bool create)
{
    const QString base = QDir::cleanPath(QDir::fromNativeSeparators(top));
    const QString target = QDir::cleanPath(QDir::fromNativeSeparators(folder));
    if (target == base)
        return {};
    if (!liesBelow(target, base))
        return FileResult::failure(NoteReason::RefusedInDestination,
                                   QStringLiteral("%1 does not lie inside %2; nothing is written there")
                                       .arg(quotedPath(target), quotedPath(base)));
    QString path = base.endsWith(u'/') ? base.chopped(1) : base;
    for (const QString &step : target.mid(base.size()).split(u'/', Qt::SkipEmptyParts)) {
        path += u'/' + step;
        FileResult refusal = refusalOf(path);
        if (refusal.ok && !QFileInfo::exists(path)) {
            if (!create)
                return {};
            std::error_code code;
            std::filesystem::create_directory(toFsPath(path), code);
            refusal = refusalOf(path); // something else may have taken the name meanwhile
            if (refusal.ok && !QFileInfo(path).isDir())
                refusal = cannotMakeFolder(path, systemErrorText(code));
        }
        if (!refusal.ok)
            return refusal;
    }
    return {};
}

Destination::Destination(const QString &folder)
    : m_path(QDir::cleanPath(QDir::fromNativeSeparators(folder))), m_prefix(withTrailingSlash(m_path))
{}

RealFoldersBelow::RealFoldersBelow(const Destination &top, bool create) : m_top(top.path()), m_create(create) {}

FileResult RealFoldersBelow::ensure(const QString &folder, bool *madeNow)
{
    if (madeNow)
        *madeNow = false;
    const QString target = QDir::cleanPath(QDir::fromNativeSeparators(folder));
    if (m_sure.contains(target))
        return {};
    if (target == m_top) {
        m_sure.insert(m_top, deviceOf(m_top).value_or(0));
        return {};
    }
#if EMLX_UNIX_CALLS
    if (!liesBelow(target, m_top))
        return ensureRealFolderBelow(m_top, target, m_create); // says why not
    // The nearest folder made sure of, the top at the latest, and the steps below it.
    QString path = target;
    QStringList steps;
    while (path != m_top && !m_sure.contains(path)) {
        steps.prepend(GetFileNamePart(path));
        path = parentOf(path);
    }
    quint64 device = 0;
    if (path == m_top) {
        device = deviceOf(m_top).value_or(0);
    } else {
        device = m_sure.value(path);
    }
    if (path.endsWith(u'/'))
        path.chop(1);
    for (const QString &step : std::as_const(steps)) {
        path += u'/' + step;
        const QByteArray name = QFile::encodeName(path);
        bool made = false;
        if (m_create) {
            made = ::mkdir(name.constData(), 0777) == 0;
            if (!made && errno != EEXIST)
                return cannotMakeFolder(path, systemErrorText(errno));
        }
        if (!made) {
            struct stat status {
            };
            if (::lstat(name.constData(), &status) != 0) {
                if (!m_create && errno == ENOENT)
                    return {}; // nothing below is made in a dry run
                return cannotMakeFolder(path, systemErrorText(errno));
            }
            if (S_ISLNK(status.st_mode))
                return FileResult::failure(NoteReason::RefusedInDestination, linkRefusal(path));
            if (!S_ISDIR(status.st_mode))
                return fileInTheWay(path);
            device = quint64(status.st_dev);
        }
        m_sure.insert(path, device); // a folder made here lies on its parent's file system
        if (madeNow && path == target)
            *madeNow = made;
    }
    return {};
#else
    const FileResult result = ensureRealFolderBelow(m_top, target, m_create);
    if (result.ok && QFileInfo(target).isDir())
        m_sure.insert(target, 0);
    return result;
#endif
}

QStringList RealFoldersBelow::oneFolderPerFileSystem() const
{
    QHash<quint64, QString> byDevice;
    for (auto it = m_sure.cbegin(); it != m_sure.cend(); ++it)
        if (!byDevice.contains(it.value()))
            byDevice.insert(it.value(), it.key());
    QStringList folders = byDevice.values();
    folders.sort();
    return folders;
}

FileResult acceptsNamesWith(const QString &folder, QChar character, const QString &purpose)
{
#if EMLX_WINDOWS_CALLS
    // No Windows file system takes these; NTFS reads "name:more" as a stream inside the file
    // "name", so a probe would seem to succeed while the bytes went where no copy follows.
    Q_UNUSED(folder);
    if (!QStringLiteral("<>:\"/\\|?*").contains(character))
        return {};
    return FileResult::failure(NoteReason::CannotWrite,
                               QStringLiteral("Windows takes no '%1' in file names (NTFS reads it as a stream inside "
                                              "a file), and %2 hold one; nothing was written")
                                   .arg(character, purpose));
#else
    QString random;
    for (int i = 0; i < 6; ++i)
        random += QLatin1Char("abcdefghijklmnopqrstuvwxyz0123456789"[QRandomGenerator::global()->bounded(36)]);
    const QString probe = withTrailingSlash(folder) + temporaryFilePrefix + random + character + temporaryFileSuffix;
#if EMLX_UNIX_CALLS
    const int handle =
        ::open(QFile::encodeName(probe).constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    const int error = handle < 0 ? errno : 0;
    if (handle >= 0)
        ::close(handle);
    const QString reason = systemErrorText(error);
#else
    QFile file(probe);
    const bool made = file.open(QIODevice::WriteOnly | QIODevice::NewOnly);
    const int error = made ? 0 : -1;
    const QString reason = file.errorString();
    file.close();
#endif
    if (error == 0) {
        QFile::remove(probe);
        return {};
    }
    if (error == EINVAL)
        return FileResult::failure(NoteReason::CannotWrite,
                                   QStringLiteral("the file system of %1 takes no '%2' in file names (FAT and exFAT "
                                                  "do not), and %3 hold one; nothing was written")
                                       .arg(quotedPath(folder), character, purpose));
    return FileResult::failure(NoteReason::CannotWrite,
                               QStringLiteral("cannot write into %1: %2").arg(quotedPath(folder), reason));
#endif
}

void removeLeftoverTemporaryFiles(const QString &folder, const QDateTime &before)
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

FileResult flushToDisk(const QStringList &folders, const QStringList &files, QString *failedPath)
{
#if EMLX_LINUX_IO
    QSet<quint64> flushed;
    for (const QString &folder : folders) {
        const int handle = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (handle < 0 && files.isEmpty())
            return flushFailure(folder, systemErrorText(errno), failedPath); // no list to fall back on
        if (handle < 0)
            return flushEachFile(files, failedPath);
        struct stat status {
        };
        if (::fstat(handle, &status) != 0 || flushed.contains(quint64(status.st_dev))) {
            ::close(handle);
            continue;
        }
        const int result = ::syncfs(handle);
        const int error = errno;
        ::close(handle);
        if (result != 0 && error == ENOSYS && !files.isEmpty())
            return flushEachFile(files, failedPath);
        if (result != 0)
            return flushFailure(folder, systemErrorText(error), failedPath);
        flushed.insert(quint64(status.st_dev));
    }
    return {};
#else
    Q_UNUSED(folders);
    return flushEachFile(files, failedPath);
#endif
}

bool flushesWholeFileSystems()
{
    return EMLX_LINUX_IO;
}

FileResult flushEachFile(const QStringList &files, QString *failedPath)
{
    for (const QString &path : files) {
        QFile file(path);
#if EMLX_UNIX_CALLS
        if (!file.open(QIODevice::ReadOnly))
            return flushFailure(path, file.errorString(), failedPath);
        if (::fsync(file.handle()) != 0)
            return flushFailure(path, systemErrorText(errno), failedPath);
#else
        // Flushing needs a handle that may write.
        if (!file.open(QIODevice::ReadWrite | QIODevice::ExistingOnly))
            return flushFailure(path, file.errorString(), failedPath);
        if (::_commit(file.handle()) != 0)
            return flushFailure(path, systemErrorText(errno), failedPath);
#endif
    }
    return {};
}
