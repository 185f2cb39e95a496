#include "platform/RegularFile.h"

#include "platform/FileFacts.h"
#include "platform/OpenFolders.h"
#include "platform/PathHelpers.h"
#include "platform/SystemCalls.h"

#include <QFileInfo>

// Without EMLX_POSIX_IO the fallback that needs no POSIX calls is built, as on other systems.
#if EMLX_POSIX_IO
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif
#if EMLX_LINUX_IO
#include <sys/vfs.h>

#include <mutex>
#include <utility>
#include <vector>
#endif

namespace {

QString notRegular(const QString &path, const QString &kind)
{
    return QStringLiteral("%1 is not a regular file (%2)").arg(quotedPath(path), kind);
}

#if EMLX_POSIX_IO

QString kindOfMode(mode_t mode)
{
    if (S_ISREG(mode))
        return {};
    if (S_ISFIFO(mode))
        return QStringLiteral("a named pipe");
    if (S_ISSOCK(mode))
        return QStringLiteral("a socket");
    if (S_ISCHR(mode))
        return QStringLiteral("a character device");
    if (S_ISBLK(mode))
        return QStringLiteral("a block device");
    if (S_ISDIR(mode))
        return QStringLiteral("a folder");
    return QStringLiteral("an unknown kind of file");
}

// Files of /proc and /sys call themselves regular but make up their content as they are read,
// some without end.
// The answer is kept per file system: a run reads thousands of files from the same few.
bool isKernelFile(int fd, dev_t device)
{
#if EMLX_LINUX_IO
    static std::mutex lock;
    static std::vector<std::pair<dev_t, bool>> known;
    {
        const std::lock_guard<std::mutex> guard(lock);
        for (const auto &[seen, kernel] : known)
            if (seen == device)
                return kernel;
    }
    constexpr long procMagic = 0x9fa0, sysfsMagic = 0x62656572;
    struct statfs fileSystem = {};
    if (fstatfs(fd, &fileSystem) != 0)
        return false;
    const bool kernel = long(fileSystem.f_type) == procMagic || long(fileSystem.f_type) == sysfsMagic;
    const std::lock_guard<std::mutex> guard(lock);
    known.emplace_back(device, kernel);
    return kernel;
#else
    Q_UNUSED(fd);
    Q_UNUSED(device);
    return false;
#endif
}

const QString kernelFile = QStringLiteral("a kernel file of /proc or /sys");

// Linux reads a regular file the same with O_NONBLOCK or without: the flag is left as it is.
constexpr bool nonBlockingIgnored = EMLX_LINUX_IO;

// A file by an absolute path is opened by its own name in its folder, which the thread keeps open
// for the next file there.
int openInItsFolder(const QByteArray &path, int flags)
{
    const qsizetype slash = path.lastIndexOf('/');
    if (!path.startsWith('/') || slash <= 0)
        return ::open(path.constData(), flags);
    const int folder = openFolder("/", path.left(slash), FolderSteps::LinksFollowed);
    if (folder < 0)
        return ::open(path.constData(), flags);
    return ::openat(folder, path.constData() + slash + 1, flags);
}

#endif

} // namespace

QString nonRegularFileKind(const QString &path)
{
#if EMLX_POSIX_IO
    struct stat status = {};
    if (::stat(QFile::encodeName(path).constData(), &status) != 0)
        return {};
    return kindOfMode(status.st_mode);
#else
    const QFileInfo info(path);
    if (info.isDir())
        return QStringLiteral("a folder");
    return info.exists() && !info.isFile() ? QStringLiteral("a special file") : QString();
#endif
}

RegularFileHandle openRegularFileHandle(const QString &path)
{
    RegularFileHandle result;
#if EMLX_POSIX_IO
    // O_NONBLOCK: opening a named pipe without a writer, or a device, would otherwise wait.
    const int fd = openInItsFolder(QFile::encodeName(path), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        const int error = errno;
        const QString kind = nonRegularFileKind(path); // a socket cannot be opened at all
        result.reason = !kind.isEmpty() ? NoteReason::NotRegularFile : NoteReason::CannotRead;
        result.failure = !kind.isEmpty() ? notRegular(path, kind)
                                         : QStringLiteral("cannot open %1: %2")
                                               .arg(quotedPath(path), systemErrorText(error));
        return result;
    }
    struct stat status = {};
    const auto refuse = [&](const QString &kind) {
        result.reason = NoteReason::NotRegularFile;
        result.failure = notRegular(path, kind);
    };
    if (::fstat(fd, &status) != 0)
        result.failure = QStringLiteral("cannot open %1: %2").arg(quotedPath(path), systemErrorText(errno));
    else if (!S_ISREG(status.st_mode))
        refuse(kindOfMode(status.st_mode));
    else if (isKernelFile(fd, status.st_dev))
        refuse(kernelFile);
    else if (!nonBlockingIgnored && ::fcntl(fd, F_SETFL, 0) < 0) // reads wait again (status flags only)
        result.failure = QStringLiteral("cannot open %1: %2").arg(quotedPath(path), systemErrorText(errno));
    if (!result.failure.isEmpty()) {
        ::close(fd);
        return result;
    }
    result.handle = fd;
    result.size = qint64(status.st_size);
    result.stamp = fileStampOf(status);
#else
    result.failure = QStringLiteral("cannot open %1: not available on this system").arg(quotedPath(path));
#endif
    return result;
}

bool RegularFile::openForReading()
{
#if EMLX_POSIX_IO
    const RegularFileHandle opened = openRegularFileHandle(m_path);
    if (opened.handle < 0) {
        m_failure = opened.failure;
        m_failureReason = opened.reason;
        return false;
    }
    if (!open(opened.handle, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(opened.handle);
        m_failure = QStringLiteral("cannot open %1: %2").arg(quotedPath(m_path), errorString());
        return false;
    }
    return true;
#else
    // Without POSIX calls: look first, then open by name.
    const QString kind = nonRegularFileKind(m_path);
    if (!kind.isEmpty()) {
        m_failure = notRegular(m_path, kind);
        m_failureReason = NoteReason::NotRegularFile;
        return false;
    }
    setFileName(m_path);
    if (!open(QIODevice::ReadOnly)) {
        m_failure = QStringLiteral("cannot open %1: %2").arg(quotedPath(m_path), errorString());
        return false;
    }
    return true;
#endif
}

QString linkRefusal(const QString &path)
{
    return QStringLiteral("%1 is a link; nothing is written through links in the destination").arg(quotedPath(path));
}

bool openRegularFileForWriting(QFile &file, const QString &path, WriteMode mode, QString *error)
{
#if EMLX_POSIX_IO
    const int handle = ::open(QFile::encodeName(path).constData(),
                              O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0666);
    if (handle < 0) {
        *error = errno == ELOOP ? linkRefusal(path)
                                : QStringLiteral("cannot write %1: %2").arg(quotedPath(path), systemErrorText(errno));
        return false;
    }
    struct stat status = {};
    if (::fstat(handle, &status) != 0 || !S_ISREG(status.st_mode)) {
        ::close(handle);
        *error = notRegular(path, kindOfMode(status.st_mode));
        return false;
    }
    if ((mode == WriteMode::Truncate && ::ftruncate(handle, 0) != 0) ||
        ::fcntl(handle, F_SETFL, ::fcntl(handle, F_GETFL) & ~O_NONBLOCK) < 0 ||
        !file.open(handle, QIODevice::WriteOnly | QIODevice::Append, QFileDevice::AutoCloseHandle)) {
        *error = QStringLiteral("cannot write %1: %2").arg(quotedPath(path), systemErrorText(errno));
        ::close(handle);
        return false;
    }
    return true;
#else
    const QFileInfo info(path);
    if (info.isSymLink()) {
        *error = linkRefusal(path);
        return false;
    }
    if (info.exists() && !info.isFile()) {
        *error = notRegular(path, nonRegularFileKind(path));
        return false;
    }
    file.setFileName(path);
    if (!file.open(QIODevice::WriteOnly | (mode == WriteMode::Truncate ? QIODevice::Truncate : QIODevice::Append))) {
        *error = QStringLiteral("cannot write %1: %2").arg(quotedPath(path), file.errorString());
        return false;
    }
    return true;
#endif
}

FileIdentity identityOf(const QFileDevice &file)
{
#if EMLX_POSIX_IO
    struct stat status = {};
    if (file.handle() >= 0 && ::fstat(file.handle(), &status) == 0)
        return {quint64(status.st_dev), quint64(status.st_ino)};
#else
    Q_UNUSED(file);
#endif
    return {};
}

bool reopenOwnFile(QFile &file, const QString &path, const FileIdentity &identity, QString *error)
{
    const QString replaced = QStringLiteral("%1 is no longer the file this run made").arg(quotedPath(path));
#if EMLX_POSIX_IO
    const int handle =
        ::open(QFile::encodeName(path).constData(), O_WRONLY | O_APPEND | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (handle < 0) {
        *error = errno == ELOOP ? replaced
                                : QStringLiteral("cannot write %1: %2").arg(quotedPath(path), systemErrorText(errno));
        return false;
    }
    struct stat status = {};
    if (::fstat(handle, &status) != 0 || !S_ISREG(status.st_mode) ||
        FileIdentity{quint64(status.st_dev), quint64(status.st_ino)} != identity) {
        ::close(handle);
        *error = replaced;
        return false;
    }
    if (::fcntl(handle, F_SETFL, ::fcntl(handle, F_GETFL) & ~O_NONBLOCK) < 0 ||
        !file.open(handle, QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered,
                   QFileDevice::AutoCloseHandle)) {
        *error = QStringLiteral("cannot write %1: %2").arg(quotedPath(path), systemErrorText(errno));
        ::close(handle);
        return false;
    }
    return true;
#else
    Q_UNUSED(identity);
    const QFileInfo info(path);
    if (info.isSymLink() || !info.isFile()) {
        *error = replaced;
        return false;
    }
    file.setFileName(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered)) {
        *error = QStringLiteral("cannot write %1: %2").arg(quotedPath(path), file.errorString());
        return false;
    }
    return true;
#endif
}
