#include "RegularFile.h"

#include "PathHelpers.h"

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
#endif

namespace {

QString notRegular(const QString &path, const QString &kind)
{
    return QStringLiteral("%1 is not a regular file (%2)").arg(QuotedPath(path), kind);
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
bool isKernelFile(int fd)
{
#if defined(__linux__) && !defined(EMLX_PORTABLE_IO)
    constexpr long procMagic = 0x9fa0, sysfsMagic = 0x62656572;
    struct statfs fileSystem = {};
    return fstatfs(fd, &fileSystem) == 0 &&
           (long(fileSystem.f_type) == procMagic || long(fileSystem.f_type) == sysfsMagic);
#else
    Q_UNUSED(fd);
    return false;
#endif
}

const QString kernelFile = QStringLiteral("a kernel file of /proc or /sys");

#endif

} // namespace

QString NonRegularFileKind(const QString &path)
{
#if POSIX_FILES
    struct stat status = {};
    if (::stat(QFile::encodeName(path).constData(), &status) != 0)
        return {};
    return kindOfMode(status.st_mode);
#else
    const QFileInfo info(path);
    return info.exists() && !info.isFile() ? QStringLiteral("a special file") : QString();
#endif
}

bool RegularFile::openForReading()
{
#if POSIX_FILES
    // O_NONBLOCK: opening a named pipe without a writer, or a device, would otherwise wait.
    const int fd = ::open(QFile::encodeName(m_path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        const int error = errno;
        const QString kind = NonRegularFileKind(m_path); // a socket cannot be opened at all
        m_failure = !kind.isEmpty() ? notRegular(m_path, kind)
                                    : QStringLiteral("cannot open %1: %2")
                                          .arg(QuotedPath(m_path), QString::fromLocal8Bit(std::strerror(error)));
        return false;
    }
    struct stat status = {};
    QString refusal;
    if (::fstat(fd, &status) != 0)
        refusal =
            QStringLiteral("cannot open %1: %2").arg(QuotedPath(m_path), QString::fromLocal8Bit(std::strerror(errno)));
    else if (!S_ISREG(status.st_mode))
        refusal = notRegular(m_path, kindOfMode(status.st_mode));
    else if (isKernelFile(fd))
        refusal = notRegular(m_path, kernelFile);
    else if (const int flags = ::fcntl(fd, F_GETFL); flags < 0 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) < 0)
        refusal =
            QStringLiteral("cannot open %1: %2").arg(QuotedPath(m_path), QString::fromLocal8Bit(std::strerror(errno)));
    if (!refusal.isEmpty()) {
        ::close(fd);
        m_failure = refusal;
        return false;
    }
    if (!open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        m_failure = QStringLiteral("cannot open %1: %2").arg(QuotedPath(m_path), errorString());
        return false;
    }
    return true;
#else
    // Without POSIX calls: look first, then open by name.
    const QString kind = NonRegularFileKind(m_path);
    if (!kind.isEmpty()) {
        m_failure = notRegular(m_path, kind);
        return false;
    }
    setFileName(m_path);
    if (!open(QIODevice::ReadOnly)) {
        m_failure = QStringLiteral("cannot open %1: %2").arg(QuotedPath(m_path), errorString());
        return false;
    }
    return true;
#endif
}
