#include "convert/UpToDate.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#endif
#if defined(__linux__) && !defined(EMLX_PORTABLE_IO)
#define FOLDER_HANDLES 1
#include <fcntl.h>
#include <unistd.h>
#else
#define FOLDER_HANDLES 0
#endif

namespace {

#ifdef Q_OS_UNIX
// Looks at a file by its path, links followed or not.
int lookAtPath(const QByteArray &path, struct stat *status, bool followLink)
{
    return followLink ? ::stat(path.constData(), status) : ::lstat(path.constData(), status);
}
#endif

#if FOLDER_HANDLES
// A run looks at the files of one folder after another: the folder is opened once, and each
// file is looked up by its own name instead of by its whole path again. One per thread and use.
class LastFolder
{
public:
    LastFolder() = default;
    LastFolder(const LastFolder &) = delete;
    LastFolder &operator=(const LastFolder &) = delete;
    ~LastFolder() { forget(); }

    int lookAt(const QByteArray &path, struct stat *status, bool followLink)
    {
        const qsizetype slash = path.lastIndexOf('/');
        if (slash <= 0 || slash + 1 == path.size())
            return lookAtPath(path, status, followLink);
        const QByteArrayView folder(path.constData(), slash);
        if (m_handle < 0 || folder != QByteArrayView(m_folder)) {
            forget();
            m_folder = folder.toByteArray();
            m_handle = ::open(m_folder.constData(), O_PATH | O_DIRECTORY | O_CLOEXEC);
            if (m_handle < 0)
                return lookAtPath(path, status, followLink);
        }
        return ::fstatat(m_handle, path.constData() + slash + 1, status, followLink ? 0 : AT_SYMLINK_NOFOLLOW);
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

// Size and modification time of the file itself (a link is never an output of ours), or, for
// a source, of the file a link leads to.
struct FileFacts {
    bool regularFile = false;
    qint64 size = 0;
    FileStamp stamp;
};

FileFacts factsOf(const QString &path, bool followLink = false)
{
    FileFacts facts;
#ifdef Q_OS_UNIX
    struct stat status = {};
    const QByteArray name = QFile::encodeName(path);
#if FOLDER_HANDLES
    LastFolder &folder = followLink ? lastSourceFolder : lastOutputFolder;
    if (folder.lookAt(name, &status, followLink) != 0 || !S_ISREG(status.st_mode))
        return facts;
#else
    if (lookAtPath(name, &status, followLink) != 0 || !S_ISREG(status.st_mode))
        return facts;
#endif
    facts.regularFile = true;
    facts.size = qint64(status.st_size);
    facts.stamp = fileStampOf(status);
#else
    // Elsewhere Qt gives the time to the millisecond, as it also sets it on the outputs.
    const QFileInfo info(path);
    if (!info.isFile() || (info.isSymLink() && !followLink))
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

bool sameSizeAndTime(const FileFacts &facts, qint64 size, const FileStamp &modified)
{
    return modified.known && facts.regularFile && facts.size == size &&
           facts.stamp.modifiedSeconds == modified.modifiedSeconds &&
           facts.stamp.modifiedNanoseconds == modified.modifiedNanoseconds;
}

} // namespace

bool outputMatches(const QString &target, qint64 size, const FileStamp &modified)
{
    return sameSizeAndTime(factsOf(target), size, modified);
}

FileStamp unchangedSourceStamp(const QString &source, qint64 size, const FileStamp &modified)
{
    const FileFacts facts = factsOf(source, true);
    return sameSizeAndTime(facts, size, modified) ? facts.stamp : FileStamp{};
}

FileStamp modificationStampOf(const QString &path)
{
    return factsOf(path).stamp;
}

FileStamp sourceStampOf(const QString &source)
{
    return factsOf(source, true).stamp;
}
