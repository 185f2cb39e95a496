#include "FolderScan.h"

#include "pathLogger.h"

#include "PathHelpers.h"

bool isMessageFileName(const QString &path)
{
    return path.trimmed().endsWith(QStringLiteral(".emlx"), Qt::CaseInsensitive);
}

FolderScanResult scanForMessageFiles(const QString &folder, const std::function<void()> &yield,
                                     const std::function<bool()> &stopRequested)
{
    FolderScanResult result;
    pathLogger walker;
    walker.setYield(yield);
    walker.setStopRequested(stopRequested);
    walker.PathLogInit();
    walker.fullFileNamesOnly = true;
    result.folderExists = walker.LogPath(folder) || walker.stopped();
    result.stopped = walker.stopped();
    for (const QString &file : walker.fullFileNames().values())
        if (isMessageFileName(file))
            result.messageFiles.append(file);
    result.unreadableFolders = walker.unreadableFolders();
    result.unusableFileNames = walker.unusableFileNames();
    walker.Terminate();
    return result;
}

QStringList FolderScanResult::problems() const
{
    QStringList sentences;
    for (const QString &folder : unreadableFolders)
        sentences << QStringLiteral("cannot read folder %1").arg(QuotedPath(folder));
    for (const QString &file : unusableFileNames)
        sentences << QStringLiteral("cannot convert %1: its name is not valid UTF-8; rename the file and add it again")
                         .arg(QuotedPath(file));
    return sentences;
}
