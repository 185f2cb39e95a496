#include "convert/output/UpToDate.h"

#include "platform/FileFacts.h"

namespace {

bool sameSizeAndTime(const FileFacts &facts, qint64 size, const FileStamp &modified)
{
    return modified.known && facts.regularFile && facts.size == size &&
           facts.stamp.modifiedSeconds == modified.modifiedSeconds &&
           facts.stamp.modifiedNanoseconds == modified.modifiedNanoseconds;
}

} // namespace

bool outputMatches(const QString &target, qint64 size, const FileStamp &modified)
{
    return sameSizeAndTime(factsOf(target, Links::NotFollowed), size, modified);
}

FileStamp unchangedSourceStamp(const QString &source, qint64 size, const FileStamp &modified)
{
    const FileFacts facts = factsOf(source, Links::Followed);
    return sameSizeAndTime(facts, size, modified) ? facts.stamp : FileStamp{};
}

FileStamp sourceStampOf(const QString &source)
{
    return factsOf(source, Links::Followed).stamp;
}
