// Platform layer: path splitting, folder creation and the message writer.
// Qt Core only; knows nothing about messages beyond a byte range to copy.
// Paths use Qt's internal '/' separator on every platform.
#pragma once

#include <QFileInfo>
#include <QString>
#include <QtGlobal>

#include <filesystem>
#include <functional>

class QFileDevice;
class SourceFile;

// The text after the last '/' of the path; the whole path when it holds none.
QString GetFileNamePart(const QString &path);
// The text up to and including the last '/'; empty when the path holds none.
QString GetFolderPart(const QString &path);
// The folder path without its root ("C:/", "/", the "//" of a network path),
// so that it can be mirrored below another folder.
QString dropPathRoot(const QString &folder);
// The path for std::filesystem; on Windows in the form that no length limit applies to.
std::filesystem::path toFsPath(const QString &path);
// The folder path ending in '/', so that a path below it starts with it and a name can follow.
QString withTrailingSlash(const QString &folder);

// The path as messages name it: in the platform's separators, between double quotes.
QString quotedPath(const QString &path);

struct FileResult {
    bool ok = true;
    QString error; // plain words naming the file and the reason, when !ok
    static FileResult failure(QString message) { return {false, std::move(message)}; }
};

// What an output takes over from its source: permissions and modification time.
struct FileStamp {
    bool known = false;
    unsigned permissions = 0; // the mode's permission bits
    qint64 modifiedSeconds = 0;
    qint64 modifiedNanoseconds = 0;
};

#ifdef Q_OS_UNIX
struct stat;
// The stamp of a file as the system describes it.
FileStamp fileStampOf(const struct stat &status);
#endif

// Creates the folder and every missing folder above it; true when it exists afterwards.
FileResult EnsureFolderExists(const QString &folder);

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

// Writes all bytes, or returns false with out.errorString() saying why. A full disk or a file
// over its size limit first takes part of a write without an error; writing the rest fails.
bool writeAll(QIODevice &out, const char *data, qint64 size);

// Part of a file to copy: the whole file when length is negative.
struct ByteRange {
    qint64 offset = 0;
    qint64 length = -1;
};

// Asked between chunks of a long copy (every few hundred kilobytes): may let the window's
// events run; false stops the copy, whose temporary file is then removed.
using KeepGoing = std::function<bool()>;

// Writes the bytes of `range` of `existing` to `newPath` through writeFileAtomically.
FileResult CopyMessageFile(const QString &existing, const QString &newPath, bool failIfExists, ByteRange range = {},
                           const KeepGoing &keepGoing = {});
// The same from a source that is open already; the copy is made by the kernel where it can
// (copy_file_range), in bounded steps with keepGoing asked between them.
FileResult CopyMessageFile(SourceFile &source, const QString &newPath, bool failIfExists, ByteRange range = {},
                           const KeepGoing &keepGoing = {});
