// Message-list layer: the scan of a folder tree for message files (scanForMessageFiles), the
// walker it drives (pathLogger, its keyed lists) and the window's list model (MessageListModel).
// Qt Core only, no widgets; builds on src/platform, which does the listing, and includes no
// system header.
#pragma once

#include "platform/MessageNote.h"

#include <QList>
#include <QStringList>

#include <functional>

// What a scan of a folder tree found: every message file below it, in walk order.
struct FolderScanResult {
    bool folderExists = false;
    bool stopped = false;           // the caller asked the walk to end early
    QStringList messageFiles;       // empty when they were handed to the caller's `found` instead
    qsizetype messageFileCount = 0; // how many message files the walk found
    QStringList unreadableFolders;
    QStringList unusableFileNames; // message files whose names cannot be handled (see pathLogger)
    struct UnusableFolder {
        QString path;     // the bytes that are no valid UTF-8 written as \xNN
        int messageFiles; // how many .emlx files lie below it
    };
    QList<UnusableFolder> unusableFolders;
    QStringList linkedFolders; // links to folders: not followed
    struct SpecialFile {
        QString path;
        QString kind; // "a named pipe", ...
    };
    QList<SpecialFile> specialFiles; // message names that are no regular files: never read

    // A note for each folder or file the scan had to leave out, about that folder or file.
    QList<MessageNote> problemNotes() const;
    // The same as plain sentences.
    QStringList problems() const;
};

// True for names that end in ".emlx" in any letter case, blanks around the name ignored.
bool isMessageFileName(const QString &path);

// Walks the tree below `folder` breadth first and keeps the message files.
// `yield` runs between steps; `stopRequested`, asked after each, ends the walk early. `found` is
// told of each message file, in walk order, before the next yield, so a caller can list the files
// while the walk goes on; then the scan keeps none of them (messageFiles stays empty), so its
// memory does not grow with the tree. `foldersFound` is told, before each yield, of the number
// of folders found so far (the scanned one included). With more than one job, folders are listed
// on that many threads, ahead of the walk; the walk's order and what it tells stay the same.
FolderScanResult scanForMessageFiles(const QString &folder, const std::function<void()> &yield = {},
                                     const std::function<bool()> &stopRequested = {},
                                     const std::function<void(const QString &file)> &found = {},
                                     const std::function<void(qsizetype folders)> &foldersFound = {},
                                     int jobs = 1);
