#include "platform/RegularFile.h"

#include "platform/PathHelpers.h"

#include <QFileInfo>

// EMLX_PORTABLE_IO builds the fallback that needs no POSIX calls, as on other systems.
#if defined(Q_OS_UNIX) && !defined(EMLX_PORTABLE_IO)
#define POSIX_FILES 1
#else
#define POSIX_FILES 0
#endif

#if POSIX_FILES
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif
#if POSIX_FILES && defined(__linux__) && !defined(EMLX_PORTABLE_IO)
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

#if POSIX_FILES

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
#if POSIX_FILES && defined(__linux__) && !defined(EMLX_PORTABLE_IO)
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

#endif

} // namespace

QString nonRegularFileKind(const QString &path)
{
#if POSIX_FILES
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
#if POSIX_FILES
    // O_NONBLOCK: opening a named pipe without a writer, or a device, would otherwise wait.
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        const int error = errno;
        const QString kind = nonRegularFileKind(path); // a socket cannot be opened at all
        result.failure = !kind.isEmpty() ? notRegular(path, kind)
                                         : QStringLiteral("cannot open %1: %2")
                                               .arg(quotedPath(path), QString::fromLocal8Bit(std::strerror(error)));
        return result;
    }
    struct stat status = {};
    if (::fstat(fd, &status) != 0)
        result.failure =
            QStringLiteral("cannot open %1: %2").arg(quotedPath(path), QString::fromLocal8Bit(std::strerror(errno)));
    else if (!S_ISREG(status.st_mode))
        result.failure = notRegular(path, kindOfMode(status.st_mode));
    else if (isKernelFile(fd, status.st_dev))
        result.failure = notRegular(path, kernelFile);
    else if (::fcntl(fd, F_SETFL, 0) < 0) // reads wait again (F_SETFL changes only the status flags)
        result.failure =
            QStringLiteral("cannot open %1: %2").arg(quotedPath(path), QString::fromLocal8Bit(std::strerror(errno)));
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
#if POSIX_FILES
    const RegularFileHandle opened = openRegularFileHandle(m_path);
    if (opened.handle < 0) {
        m_failure = opened.failure;
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
