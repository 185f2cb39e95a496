#pragma once

#include "platform/PathHelpers.h"

#include <QFileInfo>
#include <QString>

#include <functional>

class QFileDevice;
class SourceFile;

// Produces a file's content into `out`; on failure says why in `error`.
using ContentWriter = std::function<bool(QFileDevice &out, QString *error)>;

// The temporary files of writeFileAtomically are named by this prefix, six letters or digits and
// this suffix.
inline constexpr QLatin1StringView temporaryFilePrefix{".emlx2eml-"};
inline constexpr QLatin1StringView temporaryFileSuffix{".tmp"};

// Writes `newPath` atomically: the content goes to a temporary file in the target folder that
// gets its name only when complete (on Linux an unnamed file linked straight to a new name;
// replacing an existing file goes through a temporary name renamed into place), so a failed
// write leaves no partial file and keeps an earlier file of that name. The result takes the
// modification time of `like` (to the nanosecond where the system keeps it) and its
// permissions as far as the process's umask allows. With failIfExists an existing target is
// left alone and the write fails.
FileResult writeFileAtomically(const QString &newPath, bool failIfExists, const QFileInfo &like,
                               const ContentWriter &write);
// The same with the source's stamp already known.
FileResult writeFileAtomically(const QString &newPath, bool failIfExists, const FileStamp &like,
                               const ContentWriter &write);

// Writes the bytes of `range` of `existing` to `newPath` through writeFileAtomically.
FileResult CopyMessageFile(const QString &existing, const QString &newPath, bool failIfExists, ByteRange range = {},
                           const KeepGoing &keepGoing = {});
// The same from a source that is open already; the copy is made by the kernel where it can
// (copy_file_range), in bounded steps with keepGoing asked between them. The output takes the
// time and permissions of `like` where that is known, else the source's. With `below` (a folder
// above newPath, the destination) the folders from there to newPath's are opened one step at a
// time where the system can, else looked at again just before: a link on the way is refused even
// if it came after they were checked.
FileResult CopyMessageFile(SourceFile &source, const QString &newPath, bool failIfExists, ByteRange range = {},
                           const KeepGoing &keepGoing = {}, const FileStamp &like = {}, const QString &below = {});

