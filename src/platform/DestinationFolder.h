// What a run may do in its destination folder: stay below it, write through no link, ask whether
// its file system takes a character in names, clear what an interrupted run left, and flush what
// it wrote.
#pragma once

#include "platform/PathHelpers.h"

#include <QDateTime>
#include <QHash>
#include <QString>
#include <QStringList>

#include <optional>

// Whether `path`, once cleaned of "." and ".." steps, lies below `folder` (and is not `folder`).
bool liesBelow(const QString &path, const QString &folder);

// A run's destination folder, normalised once: '/' separators, "." and ".." steps resolved. Where a
// message goes (OutputPaths) and which folders may be written (RealFoldersBelow) share it.
class Destination
{
public:
    explicit Destination(const QString &folder);

    // "/home/ann/Out" ("/" or "C:/" for a root).
    const QString &path() const { return m_path; }
    // "/home/ann/Out/": how every path below the destination starts.
    const QString &prefix() const { return m_prefix; }
    // Whether `path` lies below the destination (and is not the destination itself).
    bool holds(const QString &path) const { return liesBelow(path, m_path); }

private:
    QString m_path;
    QString m_prefix;
};

// Makes `folder`, which lies below `top`, and every missing folder between the two. Every step
// below `top` must be a real folder: a link there (to a folder or not) is refused, so that nothing
// is written through it. `top` itself may be reached through links. With create false nothing is
// made; only the steps that exist are checked.
FileResult ensureRealFolderBelow(const QString &top, const QString &folder, bool create = true);

// ensureRealFolderBelow for the many folders of one run: each step below `top` is looked at (or
// made) once, and a folder made by the run is known to hold nothing yet.
class RealFoldersBelow
{
public:
    RealFoldersBelow(const Destination &top, bool create);

    // As ensureRealFolderBelow; `madeNow` tells whether `folder` itself was made by this call.
    FileResult ensure(const QString &folder, bool *madeNow = nullptr);
    // One of the folders made sure of for each file system they lie on: where a flush must go.
    QStringList oneFolderPerFileSystem() const;

private:
    QString m_top;
    bool m_create;
    QHash<QString, quint64> m_sure; // folder -> its file system (0 where the platform does not say)
};

// Whether the file system of `folder` takes file names that hold `character`, found by making an
// empty file of such a name there (new, through no link) and removing it; a failure says why,
// in the words of `purpose` ("Maildir file names"). Not asked on Windows, whose names take a
// ':' as the start of a file's stream.
FileResult acceptsNamesWith(const QString &folder, QChar character, const QString &purpose);

// Removes from `folder` the temporary files of writeFileAtomically (its own naming pattern only)
// last changed no later than `before`: what an interrupted earlier run left there.
void removeLeftoverTemporaryFiles(const QString &folder, const QDateTime &before);

// Makes sure that what was written into `folders` (the files `files`) is on the disk: one flush
// per file system where the platform offers that, else every file flushed on its own.
// On failure `failedPath` gets the folder or file that could not be flushed.
FileResult flushToDisk(const QStringList &folders, const QStringList &files, QString *failedPath = nullptr);
// Whether flushToDisk flushes whole file systems here, so that it needs no list of the files.
bool flushesWholeFileSystems();
// The portable way, which flushToDisk falls back to.
FileResult flushEachFile(const QStringList &files, QString *failedPath = nullptr);
