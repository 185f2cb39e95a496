#include "convert/UpToDate.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#endif

namespace {

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
    if ((followLink ? ::stat(name.constData(), &status) : ::lstat(name.constData(), &status)) != 0 ||
        !S_ISREG(status.st_mode))
        return facts;
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
