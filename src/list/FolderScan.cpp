#include "list/FolderScan.h"

#include "list/pathLogger.h"

#include "platform/PathHelpers.h"
#include "platform/RegularFile.h"

bool isMessageFileName(const QString &path)
{
    return QStringView(path).trimmed().endsWith(u".emlx", Qt::CaseInsensitive);
}

FolderScanResult scanForMessageFiles(const QString &folder, const std::function<void()> &yield,
                                     const std::function<bool()> &stopRequested,
                                     const std::function<void(const QString &file)> &found,
                                     const std::function<void(qsizetype folders)> &foldersFound, int jobs)
{
    FolderScanResult result;
    pathLogger walker;
    if (found)
        walker.setFileFound([&](const QString &inFolder, const QString &name) {
            if (!isMessageFileName(name))
                return;
            ++result.messageFileCount;
            found(inFolder + name);
        });
    walker.setYield([&] {
        if (foldersFound)
            foldersFound(walker.pathNames().count());
        if (yield)
            yield();
    });
    walker.setStopRequested(stopRequested);
    walker.setListingJobs(jobs);
    walker.PathLogInit();
    walker.fullFileNamesOnly = true;
    result.folderExists = walker.LogPath(folder) || walker.stopped();
    result.stopped = walker.stopped();
    if (!found) {
        for (const QString &file : walker.fullFileNames().values())
            if (isMessageFileName(file))
                result.messageFiles.append(file);
        result.messageFileCount = result.messageFiles.size();
    }
    result.unreadableFolders = walker.unreadableFolders();
    result.unusableFileNames = walker.unusableFileNames();
    for (const auto &[path, count] : walker.unusableFolders())
        result.unusableFolders.append({path, count});
    result.linkedFolders = walker.linkedFolders();
    for (const QString &file : walker.specialFiles())
        if (isMessageFileName(file))
            result.specialFiles.append({file, nonRegularFileKind(file)});
    walker.Terminate();
    return result;
}

QList<MessageNote> FolderScanResult::problemNotes() const
{
    const QString source(sourceMark);
    QList<MessageNote> notes;
    for (const QString &folder : unreadableFolders)
        notes.append({folder, NoteReason::UnreadableFolder, QStringLiteral("cannot read folder %1").arg(source)});
    for (const QString &file : unusableFileNames)
        notes.append(
            {file, NoteReason::UnusableName,
             QStringLiteral("cannot convert %1: its name is not valid UTF-8; rename the file and add it again")
                 .arg(source)});
    for (const UnusableFolder &folder : unusableFolders)
        notes.append(
            {folder.path, NoteReason::UnusableName, QStringLiteral("folder %1 holds %2 .emlx %3 that cannot be converted: the folder's "
                                         "name is not valid UTF-8; rename it and add it again")
                              .arg(source)
                              .arg(folder.messageFiles)
                              .arg(folder.messageFiles == 1 ? QStringLiteral("file") : QStringLiteral("files"))});
    for (const SpecialFile &file : specialFiles)
        notes.append({file.path, NoteReason::NotRegularFile, file.kind.isEmpty()
                                     ? QStringLiteral("%1 is not a regular file").arg(source)
                                     : QStringLiteral("%1 is not a regular file (%2)").arg(source, file.kind)});
    for (const QString &folder : linkedFolders)
        notes.append(
            {folder, NoteReason::LinkedFolder, QStringLiteral("%1 is a link to a folder; not followed").arg(source)});
    return notes;
}

QStringList FolderScanResult::problems() const
{
    QStringList sentences;
    for (const MessageNote &note : problemNotes())
        sentences << noteLine(note);
    return sentences;
}
