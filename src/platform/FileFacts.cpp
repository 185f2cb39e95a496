#include "platform/FileFacts.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>

#if EMLX_UNIX_CALLS
#include <sys/stat.h>
#endif
#if EMLX_LINUX_IO
#include <fcntl.h>
#include <unistd.h>
#endif

namespace {

#if EMLX_UNIX_CALLS
int lookAtPath(const QByteArray &path, struct stat *status, Links links)
{
    return links == Links::Followed ? ::stat(path.constData(), status) : ::lstat(path.constData(), status);
}
#endif

#if EMLX_LINUX_IO
// A run looks at the files of one folder after another: the folder is opened once, and each
// file is looked up by its own name instead of by its whole path again. One per thread and use.
class LastFolder
{
public:
    LastFolder() = default;
    LastFolder(const LastFolder &) = delete;
    LastFolder &operator=(const LastFolder &) = delete;
    ~LastFolder() { forget(); }

    int lookAt(const QByteArray &path, struct stat *status, Links links)
    {
        const qsizetype slash = path.lastIndexOf('/');
        if (slash <= 0 || slash + 1 == path.size())
            return lookAtPath(path, status, links);
        const QByteArrayView folder(path.constData(), slash);
        if (m_handle < 0 || folder != QByteArrayView(m_folder)) {
            forget();
            m_folder = folder.toByteArray();
            m_handle = ::open(m_folder.constData(), O_PATH | O_DIRECTORY | O_CLOEXEC);
            if (m_handle < 0)
                return lookAtPath(path, status, links);
        }
        return ::fstatat(m_handle, path.constData() + slash + 1, status,
                         links == Links::Followed ? 0 : AT_SYMLINK_NOFOLLOW);
    }

private:
    void forget()
    {
        if (m_handle >= 0)
            ::close(m_handle);
        m_handle = -1;
    }

    QByteArray m_folder;
    int m_handle = -1;
};
thread_local LastFolder lastSourceFolder;
thread_local LastFolder lastOutputFolder;
#endif

} // namespace

FileFacts factsOf(const QString &path, Links links)
{
    FileFacts facts;
#if EMLX_UNIX_CALLS
    struct stat status = {};
    const QByteArray name = QFile::encodeName(path);
#if EMLX_LINUX_IO
    LastFolder &folder = links == Links::Followed ? lastSourceFolder : lastOutputFolder;
    if (folder.lookAt(name, &status, links) != 0 || !S_ISREG(status.st_mode))
        return facts;
#else
    if (lookAtPath(name, &status, links) != 0 || !S_ISREG(status.st_mode))
        return facts;
#endif
    facts.regularFile = true;
    facts.size = qint64(status.st_size);
    facts.stamp = fileStampOf(status);
#else
    // Elsewhere Qt gives the time to the millisecond, as it also sets it on the outputs.
    const QFileInfo info(path);
    if (!info.isFile() || (info.isSymLink() && links == Links::NotFollowed))
        return facts;
    const qint64 ms = info.lastModified().toMSecsSinceEpoch();
    facts.regularFile = true;
    facts.size = info.size();
    facts.stamp.known = true;
    facts.stamp.modifiedSeconds = ms / 1000;
    facts.stamp.modifiedNanoseconds = (ms % 1000) * 1000000;
#endif
    return facts;
}

#if EMLX_UNIX_CALLS
FileStamp fileStampOf(const struct stat &status)
{
    FileStamp stamp;
    stamp.known = true;
    stamp.permissions = unsigned(status.st_mode & 07777);
#if EMLX_STAT_MTIMESPEC
    stamp.modifiedSeconds = qint64(status.st_mtimespec.tv_sec);
    stamp.modifiedNanoseconds = qint64(status.st_mtimespec.tv_nsec);
#else
    stamp.modifiedSeconds = qint64(status.st_mtim.tv_sec);
    stamp.modifiedNanoseconds = qint64(status.st_mtim.tv_nsec);
#endif
    return stamp;
}
#endif
