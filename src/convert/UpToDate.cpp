#include "convert/UpToDate.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#endif

namespace {

// Size and modification time of the file itself (a link is never an output of ours).
struct FileFacts {
    bool regularFile = false;
    qint64 size = 0;
    FileStamp stamp;
};

FileFacts factsOf(const QString &path)
{
    FileFacts facts;
#ifdef Q_OS_UNIX
    struct stat status = {};
    if (::lstat(QFile::encodeName(path).constData(), &status) != 0 || !S_ISREG(status.st_mode))
        return facts;
    facts.regularFile = true;
    facts.size = qint64(status.st_size);
    facts.stamp = fileStampOf(status);
#else
    // Elsewhere Qt gives the time to the millisecond, as it also sets it on the outputs.
    const QFileInfo info(path);
    if (!info.isFile() || info.isSymLink())
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

} // namespace

bool outputMatches(const QString &target, qint64 size, const FileStamp &modified)
{
    if (!modified.known)
        return false;
    const FileFacts facts = factsOf(target);
    return facts.regularFile && facts.size == size && facts.stamp.modifiedSeconds == modified.modifiedSeconds &&
           facts.stamp.modifiedNanoseconds == modified.modifiedNanoseconds;
}

FileStamp modificationStampOf(const QString &path)
{
    return factsOf(path).stamp;
}
